// Listening sockets: the listening channel's and those beside it.
#include "net/channel_record.h"
#include "net/ip_address_text.h"

namespace qv::net {

platform::Socket OpenListeningSocket(const platform::IpAddress& address, int port, int& failure) {
    failure = kOk;
    platform::Socket socket = platform::OpenTcpSocketFor(address);
    if (socket != platform::kNoSocket && platform::SetDontLinger(socket) &&
        platform::BindSocketTo(socket, address, static_cast<uint16_t>(port)) &&
        platform::ListenSocket(socket, platform::MaximumListenBacklog())) {
        return socket;
    }
    // The failure as it was, before the close.
    failure = SocketFailure();
    if (socket != platform::kNoSocket) platform::CloseSocket(socket);
    return platform::kNoSocket;
}

platform::Socket OpenListener(const platform::IpAddress& address, int port) {
    if (port < 0 || port > 65535 || !platform::SocketLibraryStart()) return platform::kNoSocket;
    int failure = kOk;
    platform::Socket socket = OpenListeningSocket(address, port, failure);
    // Each open listener keeps one reference to the socket library, as a channel does.
    if (socket == platform::kNoSocket) platform::SocketLibraryStop();
    return socket;
}

void CloseListener(platform::Socket listener) {
    if (listener == platform::kNoSocket) return;
    platform::CloseSocket(listener);
    platform::SocketLibraryStop();
}

bool FirstLocalHostIpAddress(platform::IpAddress& address) {
    uint32_t netOrder = 0;
    if (!platform::FirstLocalHostAddress(netOrder)) return false;
    address = Ipv4FromNetOrder(netOrder);
    return true;
}

}  // namespace qv::net
