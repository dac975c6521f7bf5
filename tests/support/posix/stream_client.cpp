#include "stream_client.h"
#include "bounded_send.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace qvtest {

StreamClient::StreamClient(const std::string& address, uint16_t port) {
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &server.sin_addr) != 1) return;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    if (connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        close(fd);
        return;
    }
    socket_ = fd;
}

StreamClient::~StreamClient() { Close(); }

void StreamClient::Send(const std::string& bytes) {
    if (socket_ == kNone) return;
    SendAllBy(static_cast<uintptr_t>(socket_), bytes, std::chrono::steady_clock::now() + kSendTimeOut);
}

std::string StreamClient::Read(size_t count, int timeoutMs) {
    if (socket_ == kNone || count == 0) return std::string();
    pollfd waiting{static_cast<int>(socket_), POLLIN, 0};
    if (poll(&waiting, 1, timeoutMs) <= 0) return std::string();
    std::string bytes(count, '\0');
    ssize_t n;
    do {
        n = recv(static_cast<int>(socket_), &bytes[0], count, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        closedByServer_ = true;
        return std::string();
    }
    bytes.resize(static_cast<size_t>(n));
    return bytes;
}

void StreamClient::Reset() {
    if (socket_ == kNone) return;
    linger abort{1, 0};
    setsockopt(static_cast<int>(socket_), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(static_cast<int>(socket_));
    socket_ = kNone;
}

void StreamClient::Close() {
    if (socket_ == kNone) return;
    close(static_cast<int>(socket_));
    socket_ = kNone;
}

long OpenHandleCount() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    long count = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    return count - 1;  // the directory's own descriptor
}

}  // namespace qvtest
