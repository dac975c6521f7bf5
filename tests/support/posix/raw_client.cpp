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
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &server.sin_addr) != 1) return result;

    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return result;
    if (connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        close(fd);
        return result;
    }
    result.connected = true;
    sockaddr_in local{};
    socklen_t localLength = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) == 0)
        result.localPort = ntohs(local.sin_port);

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

}  // namespace qvtest
