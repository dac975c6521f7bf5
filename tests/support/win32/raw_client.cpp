#include "raw_client.h"
#include "bounded_send.h"
#include "winsock_ready.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <thread>

namespace qvtest {

namespace {

using Clock = std::chrono::steady_clock;

long MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<long>(left) : 0;
}

}  // namespace

std::string ServerAddress() {
    if (!WinsockReady()) return "127.0.0.1";
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "127.0.0.1";
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return "127.0.0.1";
    const unsigned char* octets =
        reinterpret_cast<const unsigned char*>(&reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr);
    std::string text = std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
                       std::to_string(octets[2]) + "." + std::to_string(octets[3]);
    freeaddrinfo(found);
    return text;
}

Exchange TalkInPieces(const std::string& address, uint16_t port,
                      const std::vector<std::string>& pieces, int pauseMs, int timeoutMs) {
    Exchange result;
    if (!WinsockReady()) return result;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // A numeric address of either family.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* server = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &server) != 0 || server == nullptr)
        return result;
    SOCKET s = socket(server->ai_family, SOCK_STREAM, IPPROTO_TCP);
    const bool connected =
        s != INVALID_SOCKET && connect(s, server->ai_addr, static_cast<int>(server->ai_addrlen)) == 0;
    freeaddrinfo(server);
    if (!connected) {
        if (s != INVALID_SOCKET) closesocket(s);
        return result;
    }
    result.connected = true;
    sockaddr_storage local{};
    int localLength = sizeof local;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&local), &localLength) == 0) {
        result.localPort = local.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port)
                                                       : ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    }

    result.sentAll = true;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0 && pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        if (!SendAllBy(static_cast<uintptr_t>(s), pieces[i], deadline)) {
            result.sentAll = false;
            break;
        }
    }

    char buffer[4096];
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        long left = MillisecondsLeft(deadline);
        timeval wait{left / 1000, (left % 1000) * 1000};
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready <= 0) break;  // time-out or failure
        int n = recv(s, buffer, sizeof buffer, 0);
        if (n == 0) {
            result.closedByServer = true;
            break;
        }
        if (n < 0) break;  // reset: keep what came before it
        result.received.append(buffer, static_cast<size_t>(n));
    }
    closesocket(s);
    return result;
}

HeldListener::HeldListener(const std::string& address, uint16_t port) {
    if (!WinsockReady()) return;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
    addrinfo* local = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &local) != 0 || local == nullptr) return;
    SOCKET s = socket(local->ai_family, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET) {
        DWORD on = 1;
        if (local->ai_family == AF_INET6)
            setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof on);
        if (bind(s, local->ai_addr, static_cast<int>(local->ai_addrlen)) == 0 && listen(s, 4) == 0) {
            socket_ = static_cast<uintptr_t>(s);
        } else {
            closesocket(s);
        }
    }
    freeaddrinfo(local);
}

HeldListener::~HeldListener() {
    if (held()) closesocket(static_cast<SOCKET>(socket_));
}

bool Ipv6LoopbackWorks() {
    static const bool works = [] {
        if (!WinsockReady()) return false;
        SOCKET s = socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) return false;
        sockaddr_in6 loopback{};
        loopback.sin6_family = AF_INET6;
        loopback.sin6_addr = in6addr_loopback;
        const bool bound = bind(s, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) == 0;
        closesocket(s);
        return bound;
    }();
    return works;
}

}  // namespace qvtest
