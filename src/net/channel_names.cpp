// Peer addresses and host names.
#include "net/channel_record.h"

namespace qv::net {

std::string ChannelPeerAddress(int number) {
    Channel* channel = FindChannel(number);
    uint32_t address = 0;
    uint16_t port = 0;
    if (channel == nullptr || channel->kind != ChannelKind::Tcp) return ":0";
    if (channel->peer.known) {
        address = channel->peer.addressNetOrder;
        port = channel->peer.port;
    } else if (!platform::SocketPeer(channel->socket, address, port)) {
        return ":0";
    }
    std::string text = platform::AddressText(address);
    if (text.empty()) return ":0";
    return text + ":" + std::to_string(port);
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
