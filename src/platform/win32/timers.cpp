// Window timers: SetTimer on the hidden window, delivered by its thread's loop
// as WM_TIMER; destroying the window ends them.
#include <windows.h>

#include "platform/platform.h"

namespace qv::platform {

bool SetWindowTimer(Window window, uintptr_t id, uint32_t intervalMs) {
    // SetTimer without a window would make a thread timer nobody here receives.
    if (window == 0 || !IsWindow(reinterpret_cast<HWND>(window))) return false;
    return SetTimer(reinterpret_cast<HWND>(window), id, intervalMs, nullptr) != 0;
}

void KillWindowTimer(Window window, uintptr_t id) { KillTimer(reinterpret_cast<HWND>(window), id); }

}  // namespace qv::platform
