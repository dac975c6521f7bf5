#include "raw_client.h"
#include "bounded_send.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace qvtest {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Sends every byte unless the server has gone; MSG_NOSIGNAL keeps a closed peer from killing the test.
}  // namespace

std::string ServerAddress() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "127.0.0.1";
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return "127.0.0.1";
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
    freeaddrinfo(found);
    return text;
}

Exchange TalkInPieces(const std::string& address, uint16_t port,
                      const std::vector<std::string>& pieces, int pauseMs, int timeoutMs) {
    Exchange result;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // A numeric address of either family.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* server = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &server) != 0 || server == nullptr)
        return result;
    int fd = socket(server->ai_family, SOCK_STREAM, 0);
    const bool connected = fd >= 0 && connect(fd, server->ai_addr, server->ai_addrlen) == 0;
    freeaddrinfo(server);
    if (!connected) {
        if (fd >= 0) close(fd);
        return result;
    }
    result.connected = true;
    sockaddr_storage local{};
    socklen_t localLength = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) == 0) {
        result.localPort = local.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port)
                                                       : ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    }

    result.sentAll = true;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0 && pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        if (!SendAllBy(static_cast<uintptr_t>(fd), pieces[i], deadline)) {
            result.sentAll = false;
            break;
        }
    }

    char buffer[4096];
    for (;;) {
        pollfd waiting{fd, POLLIN, 0};
        int ready = poll(&waiting, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;  // time-out
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) {
            result.closedByServer = true;
            break;
        }
        if (n < 0) break;  // reset: keep what came before it
        result.received.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return result;
}

HeldListener::HeldListener(const std::string& address, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* local = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &local) != 0 || local == nullptr) return;
    const int fd = socket(local->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        int on = 1;
        if (local->ai_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        if (bind(fd, local->ai_addr, local->ai_addrlen) == 0 && listen(fd, 4) == 0) {
            socket_ = static_cast<uintptr_t>(fd);
        } else {
            close(fd);
        }
    }
    freeaddrinfo(local);
}

HeldListener::~HeldListener() {
    if (held()) close(static_cast<int>(socket_));
}

bool Ipv6LoopbackWorks() {
    static const bool works = [] {
        const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        sockaddr_in6 loopback{};
        loopback.sin6_family = AF_INET6;
        loopback.sin6_addr = in6addr_loopback;
        const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) == 0;
        close(fd);
        return bound;
    }();
    return works;
}

}  // namespace qvtest
