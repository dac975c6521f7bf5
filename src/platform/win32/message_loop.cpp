// The calling thread's message loop, for hosts and tests that run it themselves.
#include <windows.h>

#include "platform/platform.h"

namespace qv::platform {

int PumpMessages(int32_t timeoutMs) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return -1;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        DWORD wait = INFINITE;
        if (timeoutMs >= 0) {
            const ULONGLONG elapsed = GetTickCount64() - start;
            if (elapsed >= static_cast<ULONGLONG>(timeoutMs)) return 0;
            wait = static_cast<DWORD>(static_cast<ULONGLONG>(timeoutMs) - elapsed);
        }
        // Wakes for posted and sent messages alike; sent ones are delivered by PeekMessage.
        MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

}  // namespace qv::platform
