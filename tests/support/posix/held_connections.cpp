#include "held_connections.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace qvtest {

int HeldConnections::Open(const std::string& address, uint16_t port, int count, const std::string& bytes) {
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &server.sin_addr) != 1) return 0;
    int connected = 0;
    for (int i = 0; i < count; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) break;
        if (connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
            close(fd);
            continue;
        }
        if (!bytes.empty()) send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        sockets_.push_back(fd);
        ++connected;
    }
    return connected;
}

bool HeldConnections::ClosedByServer(size_t index) const {
    if (index >= sockets_.size()) return false;
    char byte;
    ssize_t got = recv(static_cast<int>(sockets_[index]), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

std::string HeldConnections::Received(size_t index) const {
    std::string received;
    if (index >= sockets_.size()) return received;
    char buffer[4096];
    for (;;) {
        ssize_t got = recv(static_cast<int>(sockets_[index]), buffer, sizeof buffer, MSG_DONTWAIT);
        if (got <= 0) break;
        received.append(buffer, static_cast<size_t>(got));
    }
    return received;
}

void HeldConnections::CloseAll() {
    for (intptr_t fd : sockets_) close(static_cast<int>(fd));
    sockets_.clear();
}

}  // namespace qvtest
