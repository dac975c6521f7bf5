// TCP sockets of either family, for listening on any IPv4 or IPv6 address.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/platform.h"
#include "platform/socket_address.h"

namespace qv::platform {

Socket OpenTcpSocketFor(const IpAddress& address) {
    SOCKET socket = ::socket(address.v6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) return kNoSocket;
    // A CGI program must not take the listener with it (see OpenTcpSocket).
    SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    if (address.v6) {
        // "::" then means every IPv6 address alone, as on Linux.
        DWORD on = 1;
        setsockopt(socket, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof on);
    }
    return static_cast<Socket>(socket);
}

bool BindSocketTo(Socket socket, const IpAddress& address, uint16_t port) {
    sockaddr_storage native;
    const int length = ToNative(address, port, native);
    return bind(static_cast<SOCKET>(socket), reinterpret_cast<const sockaddr*>(&native), length) == 0;
}

}  // namespace qv::platform
