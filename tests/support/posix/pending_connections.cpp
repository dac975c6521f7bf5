#include "pending_connections.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

namespace qvtest {

int EstablishedOfBurst(const std::string& address, uint16_t port, int count, int timeoutMs) {
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &server.sin_addr) != 1) return 0;

    std::vector<pollfd> waiting;
    int established = 0;
    for (int i = 0; i < count; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) break;
        if (connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0) {
            ++established;
            close(fd);
        } else if (errno == EINPROGRESS) {
            waiting.push_back(pollfd{fd, POLLOUT, 0});
        } else {
            close(fd);
        }
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!waiting.empty()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        if (poll(waiting.data(), waiting.size(), static_cast<int>(left)) <= 0) continue;
        for (auto it = waiting.begin(); it != waiting.end();) {
            if (it->revents == 0) {
                ++it;
                continue;
            }
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(it->fd, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error == 0) ++established;
            close(it->fd);
            it = waiting.erase(it);
        }
    }
    for (const pollfd& entry : waiting) close(entry.fd);
    return established;
}

}  // namespace qvtest
