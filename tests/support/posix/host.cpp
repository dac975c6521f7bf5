// The host side of the platform on Linux: the library's native message-loop
// exports, found by name in the loaded library as a host would find them.
#include "host.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "library.h"
#include "quorvex.h"

namespace qvtest {

namespace {

template <typename F>
F Export(const char* name) {
    auto found = reinterpret_cast<F>(FindExport(name));
    if (found == nullptr) {
        std::fprintf(stderr, "the library does not export %s\n", name);
        std::abort();
    }
    return found;
}

struct LoopExports {
    decltype(&::QvCreateWindow) CreateWindow = Export<decltype(&::QvCreateWindow)>("QvCreateWindow");
    decltype(&::QvDestroyWindow) DestroyWindow = Export<decltype(&::QvDestroyWindow)>("QvDestroyWindow");
    decltype(&::QvPumpMessages) PumpMessages = Export<decltype(&::QvPumpMessages)>("QvPumpMessages");
    decltype(&::QvCreateMutex) CreateMutex = Export<decltype(&::QvCreateMutex)>("QvCreateMutex");
    decltype(&::QvWaitMutex) WaitMutex = Export<decltype(&::QvWaitMutex)>("QvWaitMutex");
    decltype(&::QvReleaseMutex) ReleaseMutex = Export<decltype(&::QvReleaseMutex)>("QvReleaseMutex");
    decltype(&::QvCloseMutex) CloseMutex = Export<decltype(&::QvCloseMutex)>("QvCloseMutex");
};

const LoopExports& Loop() {
    static const LoopExports exports;
    return exports;
}

constexpr int kSliceMs = 10;

// The host procedures by window: the library calls one procedure of its own
// signature, which passes each message on.
std::mutex gProcsLock;
std::map<uint32_t, HostWindowProc> gProcs;

intptr_t Dispatch(uint32_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    HostWindowProc proc = nullptr;
    {
        std::lock_guard<std::mutex> guard(gProcsLock);
        auto it = gProcs.find(window);
        if (it != gProcs.end()) proc = it->second;
    }
    return proc != nullptr ? proc(window, message, wParam, lParam) : 0;
}

}  // namespace

uintptr_t CreateHostWindow(HostWindowProc proc) {
    if (proc == nullptr) return 0;
    // No message reaches a window before its maker's loop runs, so the procedure
    // is in the table in time.
    uint32_t window = Loop().CreateWindow(&Dispatch);
    if (window != 0) {
        std::lock_guard<std::mutex> guard(gProcsLock);
        gProcs[window] = proc;
    }
    return window;
}

void DestroyHostWindow(uintptr_t window) {
    if (window == 0) return;
    Loop().DestroyWindow(static_cast<uint32_t>(window));
    std::lock_guard<std::mutex> guard(gProcsLock);
    gProcs.erase(static_cast<uint32_t>(window));
}

void PumpFor(int milliseconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        Loop().PumpMessages(static_cast<int32_t>(left.count()));
    }
}

void PumpWhile(const std::function<void()>& work) {
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work();
        finished = true;
    });
    while (!finished) Loop().PumpMessages(kSliceMs);
    worker.join();
}

uintptr_t CreateHostMutex() { return Loop().CreateMutex(); }

void CloseHostMutex(uintptr_t mutex) {
    if (mutex != 0) Loop().CloseMutex(static_cast<uint32_t>(mutex));
}

bool WaitHostMutex(uintptr_t mutex, int timeoutMs) {
    return Loop().WaitMutex(static_cast<uint32_t>(mutex), timeoutMs) == 0;
}

void ReleaseHostMutex(uintptr_t mutex) { Loop().ReleaseMutex(static_cast<uint32_t>(mutex)); }

std::string TestProgramPath(const std::string& name) {
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = length > 0 ? std::string(self, static_cast<size_t>(length)) : std::string("./x");
    return path.substr(0, path.rfind('/') + 1) + name;
}

std::string ProgramSuffix() { return ""; }

char DirectorySeparator() { return '/'; }

}  // namespace qvtest
