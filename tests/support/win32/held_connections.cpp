#include "held_connections.h"
#include "winsock_ready.h"

#include <winsock2.h>

namespace qvtest {
namespace {

void SetNonBlocking(SOCKET s, bool on) {
    u_long mode = on ? 1 : 0;
    ioctlsocket(s, FIONBIO, &mode);
}

}  // namespace

int HeldConnections::Open(const std::string& address, uint16_t port, int count, const std::string& bytes) {
    if (!WinsockReady()) return 0;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = inet_addr(address.c_str());
    if (server.sin_addr.s_addr == INADDR_NONE) return 0;
    int connected = 0;
    for (int i = 0; i < count; ++i) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) break;
        if (connect(s, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
            closesocket(s);
            continue;
        }
        if (!bytes.empty()) send(s, bytes.data(), static_cast<int>(bytes.size()), 0);
        SetNonBlocking(s, true);
        sockets_.push_back(static_cast<intptr_t>(s));
        ++connected;
    }
    return connected;
}

bool HeldConnections::ClosedByServer(size_t index) const {
    if (index >= sockets_.size()) return false;
    char byte;
    int got = recv(static_cast<SOCKET>(sockets_[index]), &byte, 1, MSG_PEEK);
    return got == 0 || (got < 0 && WSAGetLastError() != WSAEWOULDBLOCK);
}

std::string HeldConnections::Received(size_t index) const {
    std::string received;
    if (index >= sockets_.size()) return received;
    char buffer[4096];
    for (;;) {
        int got = recv(static_cast<SOCKET>(sockets_[index]), buffer, sizeof buffer, 0);
        if (got <= 0) break;
        received.append(buffer, static_cast<size_t>(got));
    }
    return received;
}

void HeldConnections::CloseAll() {
    for (intptr_t s : sockets_) closesocket(static_cast<SOCKET>(s));
    sockets_.clear();
}

}  // namespace qvtest
