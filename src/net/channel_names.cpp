// Peer addresses and host names.
#include "net/channel_record.h"
#include "net/ip_address_text.h"

namespace qv::net {

// An IPv4 peer as its dotted quad, a colon and its port; an IPv6 peer's
// address in brackets, so that the port still follows the last colon.
std::string ChannelPeerAddress(int number) {
    Channel* channel = FindChannel(number);
    platform::IpAddress address;
    uint16_t port = 0;
    if (channel == nullptr || channel->kind != ChannelKind::Tcp) return ":0";
    if (channel->peer.known) {
        address = channel->peer.address;
        port = channel->peer.port;
    } else if (!platform::SocketPeer(channel->socket, address, port)) {
        return ":0";
    }
    const std::string text = IpAddressText(address);
    return (address.v6 ? "[" + text + "]" : text) + ":" + std::to_string(port);
}

std::string LocalHostName() {
    std::string name = platform::LocalHostName();
    if (name.size() > 256) name.resize(256);
    return name;
}

std::string HostNameOf(uint32_t addressNetOrder) {
    if (!platform::SocketLibraryStart()) return std::string();
    std::string name = addressNetOrder == 0 ? LocalHostName() : platform::HostNameOfAddress(addressNetOrder);
    platform::SocketLibraryStop();
    return name;
}

}  // namespace qv::net
