// The test client's connect with Winsock (started by the recording server's Listen).
#include "loopback_connect.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace qvtest::loopback {

Socket Connect(uint16_t port) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return RecordingServer::kNoSocket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(s);
        return RecordingServer::kNoSocket;
    }
    return static_cast<Socket>(s);
}

void Reset(Socket socket) {
    linger abort{1, 0};
    setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
               sizeof abort);
    closesocket(static_cast<SOCKET>(socket));
}

}  // namespace qvtest::loopback
