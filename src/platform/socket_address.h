// IpAddress and port to and from the system's socket addresses (the same
// structures on both systems; only the type of their length differs).
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstring>

#include "platform/platform.h"

namespace qv::platform {

#ifdef _WIN32
using SocketAddressLength = int;
#else
using SocketAddressLength = socklen_t;
#endif

inline SocketAddressLength ToNative(const IpAddress& address, uint16_t port, sockaddr_storage& native) {
    std::memset(&native, 0, sizeof native);
    if (address.v6) {
        auto* six = reinterpret_cast<sockaddr_in6*>(&native);
        six->sin6_family = AF_INET6;
        six->sin6_port = htons(port);
        std::memcpy(&six->sin6_addr, address.bytes, 16);
        return static_cast<SocketAddressLength>(sizeof(sockaddr_in6));
    }
    auto* four = reinterpret_cast<sockaddr_in*>(&native);
    four->sin_family = AF_INET;
    four->sin_port = htons(port);
    std::memcpy(&four->sin_addr, address.bytes, 4);
    return static_cast<SocketAddressLength>(sizeof(sockaddr_in));
}

// False for a family other than IPv4 and IPv6, or a length too short for it.
inline bool FromNative(const sockaddr_storage& native, SocketAddressLength length, IpAddress& address, uint16_t& port) {
    address = IpAddress{};
    if (native.ss_family == AF_INET6 && length >= static_cast<SocketAddressLength>(sizeof(sockaddr_in6))) {
        const auto* six = reinterpret_cast<const sockaddr_in6*>(&native);
        address.v6 = true;
        std::memcpy(address.bytes, &six->sin6_addr, 16);
        port = ntohs(six->sin6_port);
        return true;
    }
    if (native.ss_family == AF_INET && length >= static_cast<SocketAddressLength>(sizeof(sockaddr_in))) {
        const auto* four = reinterpret_cast<const sockaddr_in*>(&native);
        std::memcpy(address.bytes, &four->sin_addr, 4);
        port = ntohs(four->sin_port);
        return true;
    }
    return false;
}

}  // namespace qv::platform
