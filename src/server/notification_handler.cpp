// The notification window's procedure: accepts, connection socket events,
// program ends and timers, each handled at once and back to the loop.
#include "net/channel.h"
#include "server/connection_events.h"
#include "server/listeners.h"
#include "server/server_control.h"

namespace qv::server {
namespace {

constexpr intptr_t kAcceptWithoutError = 8;

}  // namespace

intptr_t NotificationHandler(platform::Window /*window*/, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    try {
        switch (message) {
        case net::kAcceptMessage:
            if (lParam == kAcceptWithoutError) {
                // wParam names the listener: the listening channel's or a further one.
                NoteReportingListener(static_cast<platform::Socket>(wParam));
                AcceptPending();
            }
            break;
        case kConnectionMessage:
            // The event bits in the low word, the error code in the high word.
            OnConnectionEvent(static_cast<platform::Socket>(wParam), static_cast<uint32_t>(lParam) & 0xFFFFu,
                              (static_cast<uint32_t>(lParam) >> 16) & 0xFFFFu);
            break;
        case kProgramEndMessage:
            OnProgramEnd(wParam);
            break;
        case platform::kTimerMessage:
            OnTimer(wParam);
            break;
        default:
            break;
        }
    } catch (...) {
        // A failure ends the handling of this message; the server goes on.
    }
    return 0;
}

}  // namespace qv::server
