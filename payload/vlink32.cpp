#include "demo_program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    return RunDemoProgram(instance, showCommand, "VLink32DemoCompanion", "VLink32",
                          "VLink32 - the Vexa link companion, 32-bit edition (demo build)");
}
