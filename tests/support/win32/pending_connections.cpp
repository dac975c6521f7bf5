#include "pending_connections.h"
#include "winsock_ready.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <vector>

namespace qvtest {

int EstablishedOfBurst(const std::string& address, uint16_t port, int count, int timeoutMs) {
    if (!WinsockReady()) return 0;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &server.sin_addr) != 1) return 0;
    std::vector<SOCKET> waiting;
    int established = 0;
    for (int i = 0; i < count; ++i) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) break;
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        if (connect(s, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0) {
            ++established;
            closesocket(s);
        } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
            waiting.push_back(s);
        } else {
            closesocket(s);
        }
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!waiting.empty()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        // select takes at most FD_SETSIZE sockets at a time; a burst stays below it.
        for (SOCKET s : waiting) {
            FD_SET(s, &writable);
            FD_SET(s, &failed);
        }
        timeval wait{static_cast<long>(left / 1000), static_cast<long>((left % 1000) * 1000)};
        if (select(0, nullptr, &writable, &failed, &wait) <= 0) continue;
        for (auto it = waiting.begin(); it != waiting.end();) {
            bool done = FD_ISSET(*it, &writable) != 0;
            bool refused = FD_ISSET(*it, &failed) != 0;
            if (!done && !refused) {
                ++it;
                continue;
            }
            if (done && !refused) ++established;
            closesocket(*it);
            it = waiting.erase(it);
        }
    }
    for (SOCKET s : waiting) closesocket(s);
    return established;
}

}  // namespace qvtest
