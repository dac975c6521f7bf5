#include "abrupt_client.h"
#include "bounded_send.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace qvtest {

namespace {

using Clock = std::chrono::steady_clock;

void ReadUntilClosed(int fd, Clock::time_point deadline, Exchange& result) {
    char buffer[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd waiting{fd, POLLIN, 0};
        int ready = poll(&waiting, 1, left > 0 ? static_cast<int>(left) : 0);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return;
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) result.closedByServer = true;
        if (n <= 0) return;
        result.received.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace

Exchange TalkAndEnd(const std::string& address, uint16_t port, const std::string& bytes, ClientEnding ending,
                    int timeoutMs) {
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
    result.sentAll = SendAllBy(static_cast<uintptr_t>(fd), bytes, deadline);
    if (ending == ClientEnding::Reset) {
        linger abort{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    } else {
        shutdown(fd, SHUT_WR);
        ReadUntilClosed(fd, deadline, result);
    }
    close(fd);
    return result;
}

}  // namespace qvtest
