// Windows of the native message loop: small handles from a rolling counter,
// each owned by the thread that made it.
#include <limits>

#include "platform/posix/message_queue.h"

namespace qv::platform::loop {
namespace {

uint32_t MakeWindow(QvWindowProc exportedProc, WindowProc platformProc) {
    if (exportedProc == nullptr && platformProc == nullptr) return 0;
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    if (!queue) return 0;
    LoopState& s = Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    do {
        ++s.lastWindow;
    } while (s.lastWindow == 0 || s.windows.count(s.lastWindow) != 0);
    s.windows[s.lastWindow] = WindowRecord{exportedProc, platformProc, queue};
    // The thread that made the first window (the library's, made at load) gets the quit.
    if (!s.loadingThread) s.loadingThread = queue;
    return s.lastWindow;
}

bool FitsHandle(uintptr_t window) { return window != 0 && window <= std::numeric_limits<uint32_t>::max(); }

}  // namespace
}  // namespace qv::platform::loop

using namespace qv::platform::loop;

extern "C" QV_API uint32_t QvCreateWindow(QvWindowProc proc) { return MakeWindow(proc, nullptr); }

extern "C" QV_API int32_t QvDestroyWindow(uint32_t hwnd) {
    LoopState& s = Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.windows.find(hwnd);
    if (it == s.windows.end()) return 0;
    std::shared_ptr<ThreadQueue> owner = it->second.owner;
    s.windows.erase(it);
    ForgetWindowLocked(hwnd, *owner);
    return 1;
}

extern "C" QV_API int32_t QvIsWindow(uint32_t hwnd) {
    LoopState& s = Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.windows.count(hwnd) != 0 ? 1 : 0;
}

namespace qv::platform {

Window CreateHiddenWindow(WindowProc proc) { return loop::MakeWindow(nullptr, proc); }

bool WindowExists(Window window) {
    return loop::FitsHandle(window) && QvIsWindow(static_cast<uint32_t>(window)) != 0;
}

void DestroyHiddenWindow(Window window) {
    if (loop::FitsHandle(window)) QvDestroyWindow(static_cast<uint32_t>(window));
}

intptr_t SendWindowMessage(Window window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!loop::FitsHandle(window)) return 0;
    return QvSendMessage(static_cast<uint32_t>(window), message, wParam, lParam);
}

}  // namespace qv::platform
