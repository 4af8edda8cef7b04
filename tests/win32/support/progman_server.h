// A program manager of the tests' own: a DDE server for service and topic
// PROGMAN, on a thread of its own, that records every execute command
// verbatim (all bytes of the data, terminator included) and refuses the
// ones a test names.
//
// The Wine shell runs a PROGMAN server of its own once any window exists.
// DDE connects to the first server that answers the initiate broadcast,
// which goes to top-level windows from the top of the z-order down, so a
// server registered after the shell's is the one reached. Start() waits
// for the shell's server first, registers, and then proves with a probe
// command that connections reach this server; it fails the test otherwise.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct ExecutedCommand {
    std::string data;   // every byte the transaction carried
    bool accepted;
};

class ProgmanServer {
public:
    ProgmanServer() = default;
    ~ProgmanServer() { Stop(); }
    ProgmanServer(const ProgmanServer&) = delete;
    ProgmanServer& operator=(const ProgmanServer&) = delete;

    // Starts the server; true once a probe command has reached it.
    bool Start();
    void Stop();

    // Commands for which refuse(text) is true are answered "not processed".
    void Refuse(std::function<bool(const std::string& text)> refuse);

    // Everything recorded since the last Clear (the start probe excluded).
    std::vector<ExecutedCommand> Commands();
    int Connections();      // conversations confirmed
    void Clear();

private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ topic, HSZ item,
                                      HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);
    HDDEDATA OnExecute(HDDEDATA data);

    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HANDLE ready_ = nullptr;
    DWORD instance_ = 0;
    HSZ name_ = nullptr;
    bool registered_ = false;

    std::mutex mutex_;
    std::function<bool(const std::string&)> refuse_;
    std::vector<ExecutedCommand> commands_;
    int connections_ = 0;
};

// A test suite whose tests share one server, started before the first of
// them and stopped after the last. Base is the suite's fixture base.
template <class Base>
class WithProgmanServer : public Base {
protected:
    static void SetUpTestSuite()
    {
        server = new ProgmanServer;
        serverReached = server->Start();
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    static inline ProgmanServer* server = nullptr;
    static inline bool serverReached = false;
};

// Sends one execute command to PROGMAN from the calling thread through a
// DDE instance of its own. True when it was accepted.
bool ExecuteOnProgman(const char* command);

// Waits (up to timeoutMs) until some PROGMAN server answers a connection.
bool WaitForProgman(DWORD timeoutMs);
