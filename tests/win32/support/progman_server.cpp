#include "progman_server.h"

#include <ddeml.h>

namespace {

ProgmanServer* running = nullptr;
const char kProbe[] = "[TestServerProbe()]";

HDDEDATA CALLBACK ClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return nullptr;
}

// One client conversation from this thread: connect only, or connect and
// execute.
bool Converse(const char* command)
{
    DWORD instance = 0;
    if (DdeInitializeA(&instance, ClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
        return false;
    HSZ name = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
    bool ok = false;
    if (HCONV conversation = DdeConnect(instance, name, name, nullptr)) {
        ok = true;
        if (command) {
            DWORD status = 0;
            ok = DdeClientTransaction(reinterpret_cast<LPBYTE>(const_cast<char*>(command)), lstrlenA(command) + 1,
                                      conversation, nullptr, CF_TEXT, XTYP_EXECUTE, 5000, &status) != nullptr;
        }
        DdeDisconnect(conversation);
    }
    DdeFreeStringHandle(instance, name);
    DdeUninitialize(instance);
    return ok;
}

}  // namespace

bool ExecuteOnProgman(const char* command)
{
    return Converse(command);
}

bool WaitForProgman(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (Converse(nullptr))
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(50);
    }
}

bool ProgmanServer::Start()
{
    // A window makes the desktop, and with it the shell's server, come up;
    // this server has to be registered after that one.
    HWND starter = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (starter)
        DestroyWindow(starter);
    if (!WaitForProgman(30000))
        return false;

    running = this;
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, &threadId_);
    WaitForSingleObject(ready_, INFINITE);
    if (!registered_)
        return false;

    bool reached = false;
    for (int attempt = 0; attempt < 3 && !reached; ++attempt) {
        ExecuteOnProgman(kProbe);
        for (const ExecutedCommand& c : Commands())
            reached = reached || c.data == std::string(kProbe, sizeof kProbe);
    }
    Clear();
    return reached;
}

void ProgmanServer::Stop()
{
    if (!thread_)
        return;
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    CloseHandle(ready_);
    thread_ = nullptr;
    running = nullptr;
}

DWORD WINAPI ProgmanServer::ThreadMain(LPVOID param)
{
    ProgmanServer* self = static_cast<ProgmanServer*>(param);
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, for the quit message
    if (DdeInitializeA(&self->instance_, Callback, APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS |
                                                       CBF_SKIP_UNREGISTRATIONS | CBF_FAIL_ADVISES |
                                                       CBF_FAIL_REQUESTS | CBF_FAIL_POKES,
                       0) == DMLERR_NO_ERROR) {
        self->name_ = DdeCreateStringHandleA(self->instance_, "PROGMAN", CP_WINANSI);
        self->registered_ = DdeNameService(self->instance_, self->name_, nullptr, DNS_REGISTER) != nullptr;
    }
    SetEvent(self->ready_);
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (self->instance_) {
        DdeNameService(self->instance_, self->name_, nullptr, DNS_UNREGISTER);
        DdeFreeStringHandle(self->instance_, self->name_);
        DdeUninitialize(self->instance_);
        self->instance_ = 0;
    }
    return 0;
}

HDDEDATA CALLBACK ProgmanServer::Callback(UINT type, UINT, HCONV, HSZ topic, HSZ, HDDEDATA data, ULONG_PTR,
                                          ULONG_PTR)
{
    ProgmanServer* self = running;
    if (!self)
        return nullptr;
    switch (type) {
    case XTYP_CONNECT:
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(DdeCmpStringHandles(topic, self->name_) == 0));
    case XTYP_CONNECT_CONFIRM: {
        std::lock_guard<std::mutex> lock(self->mutex_);
        ++self->connections_;
        return nullptr;
    }
    case XTYP_EXECUTE:
        return self->OnExecute(data);
    }
    return nullptr;
}

HDDEDATA ProgmanServer::OnExecute(HDDEDATA data)
{
    DWORD size = DdeGetData(data, nullptr, 0, 0);
    std::string bytes(size, '\0');
    if (size)
        DdeGetData(data, reinterpret_cast<LPBYTE>(&bytes[0]), size, 0);
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text(bytes.c_str());
    bool accepted = !(refuse_ && refuse_(text));
    commands_.push_back({bytes, accepted});
    return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(accepted ? DDE_FACK : DDE_FNOTPROCESSED));
}

void ProgmanServer::Refuse(std::function<bool(const std::string&)> refuse)
{
    std::lock_guard<std::mutex> lock(mutex_);
    refuse_ = std::move(refuse);
}

std::vector<ExecutedCommand> ProgmanServer::Commands()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

int ProgmanServer::Connections()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
}

void ProgmanServer::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.clear();
    connections_ = 0;
}
