#include "demo_program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    return RunDemoProgram(instance, showCommand, "Vexa32DemoClient", "Vexa32",
                          "Vexa32 - the Vexa chat client, 32-bit edition (demo build)");
}
