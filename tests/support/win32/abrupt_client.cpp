#include "abrupt_client.h"
#include "bounded_send.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>

namespace qvtest {

namespace {

using Clock = std::chrono::steady_clock;

void ReadUntilClosed(SOCKET s, Clock::time_point deadline, Exchange& result) {
    char buffer[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left < 0) left = 0;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval wait{static_cast<long>(left / 1000), static_cast<long>((left % 1000) * 1000)};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) return;
        int n = recv(s, buffer, sizeof buffer, 0);
        if (n == 0) result.closedByServer = true;
        if (n <= 0) return;
        result.received.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace

Exchange TalkAndEnd(const std::string& address, uint16_t port, const std::string& bytes, ClientEnding ending,
                    int timeoutMs) {
    Exchange result;
    // ServerAddress() has started Winsock for the whole test program.
    ServerAddress();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = inet_addr(address.c_str());
    if (server.sin_addr.s_addr == INADDR_NONE) return result;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return result;
    if (connect(s, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        closesocket(s);
        return result;
    }
    result.connected = true;
    result.sentAll = SendAllBy(static_cast<uintptr_t>(s), bytes, deadline);
    if (ending == ClientEnding::Reset) {
        linger abort{1, 0};
        setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    } else {
        shutdown(s, SD_SEND);
        ReadUntilClosed(s, deadline, result);
    }
    closesocket(s);
    return result;
}

}  // namespace qvtest
