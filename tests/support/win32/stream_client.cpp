#include "stream_client.h"
#include "bounded_send.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>


#include "winsock_ready.h"

namespace qvtest {

namespace {

SOCKET Native(intptr_t socket) { return static_cast<SOCKET>(socket); }

}  // namespace

StreamClient::StreamClient(const std::string& address, uint16_t port) {
    if (!WinsockReady()) return;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &server.sin_addr) != 1) return;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return;
    if (connect(s, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        closesocket(s);
        return;
    }
    socket_ = static_cast<intptr_t>(s);
}

StreamClient::~StreamClient() { Close(); }

void StreamClient::Send(const std::string& bytes) {
    if (socket_ == kNone) return;
    SendAllBy(static_cast<uintptr_t>(socket_), bytes, std::chrono::steady_clock::now() + kSendTimeOut);
}

std::string StreamClient::Read(size_t count, int timeoutMs) {
    if (socket_ == kNone || count == 0) return std::string();
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Native(socket_), &readable);
    timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0) return std::string();
    std::string bytes(count, '\0');
    int n = recv(Native(socket_), &bytes[0], static_cast<int>(count), 0);
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
    setsockopt(Native(socket_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    closesocket(Native(socket_));
    socket_ = kNone;
}

void StreamClient::Close() {
    if (socket_ == kNone) return;
    closesocket(Native(socket_));
    socket_ = kNone;
}

long OpenHandleCount() {
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? static_cast<long>(count) : -1;
}

}  // namespace qvtest
