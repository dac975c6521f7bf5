// TCP sockets of either family, for listening on any IPv4 or IPv6 address.
#include <netinet/in.h>
#include <sys/socket.h>

#include <climits>

#include "platform/platform.h"
#include "platform/socket_address.h"

namespace qv::platform {

Socket OpenTcpSocketFor(const IpAddress& address) {
    const int fd = socket(address.v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return kNoSocket;
    if (address.v6) {
        // "::" then means every IPv6 address alone, and an IPv4 listener on
        // the same port beside it is no conflict.
        int on = 1;
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    }
    return fd;
}

bool BindSocketTo(Socket socket, const IpAddress& address, uint16_t port) {
    if (socket < 0 || socket > INT_MAX) return false;
    const int fd = static_cast<int>(socket);
    // As BindSocket: a port whose last connections linger in TIME_WAIT can be listened on again at once.
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage native;
    const socklen_t length = ToNative(address, port, native);
    return bind(fd, reinterpret_cast<sockaddr*>(&native), length) == 0;
}

}  // namespace qv::platform
