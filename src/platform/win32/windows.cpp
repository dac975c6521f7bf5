// The hidden notification window: a message-only window of our own class (never
// shown, never listed) whose procedure forwards the library's messages to the
// WindowProc it was made with.
#include <windows.h>

#include "platform/platform.h"

namespace qv::platform {

namespace {

constexpr char kClassName[] = "QuorvexHiddenWindow";

// Asks a window of another thread to destroy itself: only the owner may.
UINT DestroyRequestMessage() {
    static const UINT message = RegisterWindowMessageA("QuorvexDestroyHiddenWindow");
    return message;
}

// The module this code lives in (the DLL, or the program it is linked into).
HINSTANCE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&OwnModule), &module);
    return module;
}

LRESULT CALLBACK HiddenWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcA(window, message, wParam, lParam);
    }
    if (message == DestroyRequestMessage() && message != 0) {
        DestroyWindow(window);
        return 0;
    }
    auto proc = reinterpret_cast<WindowProc>(GetWindowLongPtrA(window, GWLP_USERDATA));
    // The window's own life (creation, painting, destruction) stays with the
    // system; the library sees its messages, its timers and the close request.
    if (proc != nullptr &&
        (message >= WM_USER || message == WM_TIMER || message == WM_CLOSE || message == WM_INITDIALOG)) {
        return proc(reinterpret_cast<Window>(window), message, wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterHiddenClass(HINSTANCE module) {
    // A class outlives the DLL that registered it: after an unload and a
    // load elsewhere in memory it would still name the old procedure.
    WNDCLASSA existing{};
    if (GetClassInfoA(module, kClassName, &existing)) {
        if (existing.lpfnWndProc == HiddenWindowProcedure) return true;
        UnregisterClassA(kClassName, module);
    }
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = HiddenWindowProcedure;
    windowClass.hInstance = module;
    windowClass.lpszClassName = kClassName;
    if (RegisterClassA(&windowClass) != 0) return true;
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

Window CreateHiddenWindow(WindowProc proc) {
    if (proc == nullptr) return 0;
    HINSTANCE module = OwnModule();
    if (!RegisterHiddenClass(module)) return 0;
    DestroyRequestMessage();
    HWND window = CreateWindowExA(0, kClassName, "", 0, 0, 0, 200, 100, HWND_MESSAGE, nullptr, module,
                                  reinterpret_cast<void*>(proc));
    return reinterpret_cast<Window>(window);
}

bool WindowExists(Window window) { return window != 0 && IsWindow(reinterpret_cast<HWND>(window)) != FALSE; }

void DestroyHiddenWindow(Window window) {
    HWND handle = reinterpret_cast<HWND>(window);
    if (!WindowExists(window)) return;
    if (GetWindowThreadProcessId(handle, nullptr) == GetCurrentThreadId()) {
        DestroyWindow(handle);
    } else {
        PostMessageA(handle, DestroyRequestMessage(), 0, 0);
    }
}

intptr_t SendWindowMessage(Window window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return SendMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam);
}

}  // namespace qv::platform
