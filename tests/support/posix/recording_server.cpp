// The recording server's socket calls with BSD sockets.
#include "recording_server.h"
#include "bounded_send.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace qvtest::loopback {

Socket Listen(uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return RecordingServer::kNoSocket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        return RecordingServer::kNoSocket;
    }
    port = ntohs(address.sin_port);
    return fd;
}

bool Readable(Socket socket, int timeoutMs) {
    pollfd wanted{static_cast<int>(socket), POLLIN, 0};
    return poll(&wanted, 1, timeoutMs) > 0;
}

Socket Accept(Socket listening) {
    const int fd = accept(static_cast<int>(listening), nullptr, nullptr);
    return fd < 0 ? RecordingServer::kNoSocket : fd;
}

long Receive(Socket socket, char* buffer, size_t size) {
    ssize_t n;
    do {
        n = recv(static_cast<int>(socket), buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

void SendAll(Socket socket, const std::string& bytes) {
    SendAllBy(static_cast<uintptr_t>(socket), bytes, std::chrono::steady_clock::now() + kSendTimeOut);
}

void Close(Socket socket) {
    shutdown(static_cast<int>(socket), SHUT_WR);
    close(static_cast<int>(socket));
}

}  // namespace qvtest::loopback
