// The host side of the tests as a real Windows host has it: USER32 windows
// and message loop, KERNEL32 mutexes.
#include <windows.h>

#include <atomic>
#include <thread>

#include "host.h"

namespace qvtest {

namespace {

constexpr char kClassName[] = "QuorvexTestHostWindow";

LRESULT CALLBACK HostWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcA(window, message, wParam, lParam);
    }
    auto proc = reinterpret_cast<HostWindowProc>(GetWindowLongPtrA(window, GWLP_USERDATA));
    // The tests' procedures see the application's own messages; the
    // window's life stays with the system.
    if (proc != nullptr && message >= WM_USER) {
        return proc(reinterpret_cast<uintptr_t>(window), message, wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterHostClass() {
    static const bool registered = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = HostWindowProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClassName;
        return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

// Delivers everything waiting for the calling thread, sent messages included.
void DeliverWaitingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

uintptr_t CreateHostWindow(HostWindowProc proc) {
    if (proc == nullptr || !RegisterHostClass()) return 0;
    HWND window = CreateWindowExA(0, kClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), reinterpret_cast<void*>(proc));
    return reinterpret_cast<uintptr_t>(window);
}

void DestroyHostWindow(uintptr_t window) { DestroyWindow(reinterpret_cast<HWND>(window)); }

void PumpFor(int milliseconds) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(milliseconds < 0 ? 0 : milliseconds);
    for (;;) {
        DeliverWaitingMessages();
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void PumpWhile(const std::function<void()>& work) {
    HANDLE finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread worker([&] {
        work();
        SetEvent(finished);
    });
    for (;;) {
        DeliverWaitingMessages();
        DWORD woke = MsgWaitForMultipleObjectsEx(1, &finished, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) break;
    }
    worker.join();
    CloseHandle(finished);
    DeliverWaitingMessages();
}

uintptr_t CreateHostMutex() { return reinterpret_cast<uintptr_t>(CreateMutexA(nullptr, FALSE, nullptr)); }

void CloseHostMutex(uintptr_t mutex) { CloseHandle(reinterpret_cast<HANDLE>(mutex)); }

bool WaitHostMutex(uintptr_t mutex, int timeoutMs) {
    DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    DWORD result = WaitForSingleObject(reinterpret_cast<HANDLE>(mutex), wait);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void ReleaseHostMutex(uintptr_t mutex) { ReleaseMutex(reinterpret_cast<HANDLE>(mutex)); }

std::string TestProgramPath(const std::string& name) {
    char path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string self(path, length < sizeof path ? length : 0);
    return self.substr(0, self.find_last_of("\\/") + 1) + name + ".exe";
}

std::string ProgramSuffix() { return ".exe"; }

char DirectorySeparator() { return '\\'; }

}  // namespace qvtest
