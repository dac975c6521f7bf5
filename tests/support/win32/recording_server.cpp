// The recording server's socket calls with Winsock.
#include "recording_server.h"
#include "bounded_send.h"
#include "winsock_ready.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace qvtest::loopback {

namespace {

SOCKET Native(Socket socket) { return static_cast<SOCKET>(socket); }

}  // namespace

Socket Listen(uint16_t& port) {
    if (!WinsockReady()) return RecordingServer::kNoSocket;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return RecordingServer::kNoSocket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 8) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(s);
        return RecordingServer::kNoSocket;
    }
    port = ntohs(address.sin_port);
    return static_cast<Socket>(s);
}

bool Readable(Socket socket, int timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Native(socket), &readable);
    timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &wait) > 0;
}

Socket Accept(Socket listening) {
    const SOCKET s = accept(Native(listening), nullptr, nullptr);
    return s == INVALID_SOCKET ? RecordingServer::kNoSocket : static_cast<Socket>(s);
}

long Receive(Socket socket, char* buffer, size_t size) {
    return recv(Native(socket), buffer, static_cast<int>(size), 0);
}

void SendAll(Socket socket, const std::string& bytes) {
    SendAllBy(static_cast<uintptr_t>(socket), bytes, std::chrono::steady_clock::now() + kSendTimeOut);
}

void Close(Socket socket) {
    shutdown(Native(socket), SD_SEND);
    closesocket(Native(socket));
}

}  // namespace qvtest::loopback
