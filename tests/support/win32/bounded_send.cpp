#include "bounded_send.h"

#include <winsock2.h>

namespace qvtest {

bool SendAllBy(uintptr_t socket, const std::string& bytes, std::chrono::steady_clock::time_point deadline) {
    const SOCKET s = static_cast<SOCKET>(socket);
    // Non-blocking while sending, so that no send waits past the deadline.
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return false;
    bool whole = true;
    size_t sent = 0;
    while (sent < bytes.size()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            whole = false;
            break;
        }
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(s, &writable);
        timeval wait{static_cast<long>(left / 1000), static_cast<long>((left % 1000) * 1000)};
        const int ready = select(0, nullptr, &writable, nullptr, &wait);
        if (ready < 0) {
            whole = false;
            break;
        }
        if (ready == 0) continue;  // the deadline is checked above
        const int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) continue;
        if (n <= 0) {
            whole = false;
            break;
        }
        sent += static_cast<size_t>(n);
    }
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);
    return whole;
}

}  // namespace qvtest
