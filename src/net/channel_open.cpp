// Opening, accepting into, notifying and closing channels.
#include <cstring>
#include <mutex>
#include <new>

#include "net/channel_record.h"

namespace qv::net {
namespace {

void DiscardChannel(Channel* channel) {
    if (channel->socket != platform::kNoSocket) platform::CloseSocket(channel->socket);
    delete channel;
}

}  // namespace

int OpenServerChannel(int number, int port, uint32_t timeoutMs) {
    return OpenServerChannelAt(number, nullptr, port, timeoutMs);
}

int OpenServerChannelAt(int number, const platform::IpAddress* at, int port, uint32_t timeoutMs) {
    std::lock_guard<SpinLock> guard(OpenLock());
    if (!platform::SocketLibraryStart()) return kErrNetworkUnavailable;
    if (number < 0 || number > 32767) {
        platform::SocketLibraryStop();
        return kErrBadChannel;
    }
    if (ChannelNumberOpen(number)) {
        platform::SocketLibraryStop();
        return kErrChannelInUse;
    }
    Channel* channel = new (std::nothrow) Channel;
    if (channel == nullptr) {
        platform::SocketLibraryStop();
        return kErrOutOfMemory;
    }
    channel->number = static_cast<int16_t>(number);
    channel->kind = ChannelKind::Tcp;
    channel->portNetOrder = static_cast<uint16_t>(((port & 0xff) << 8) | ((port >> 8) & 0xff));
    channel->timeoutMs = timeoutMs;
    InsertChannel(channel);

    int failure = kOk;
    platform::IpAddress address;
    if (at != nullptr) {
        address = *at;
    } else if (!FirstLocalHostIpAddress(address)) {
        failure = SocketFailure();
    }
    if (failure == kOk) {
        if (!address.v6) std::memcpy(&channel->addressNetOrder, address.bytes, 4);
        channel->socket = OpenListeningSocket(address, port, failure);
    }
    if (failure != kOk) {
        RemoveChannel(number);
        DiscardChannel(channel);
        platform::SocketLibraryStop();
        return failure;
    }
    return kOk;
}

int NotifyChannel(int number, platform::Window window, uint32_t message, uint32_t events) {
    Channel* channel = FindChannel(number);
    if (channel == nullptr) return kErrBadChannel;
    if (channel->kind != ChannelKind::Tcp) return kErrWrongKind;
    return platform::NotifySocketEvents(channel->socket, window, message, events) ? kOk : SocketFailure();
}

int AcceptChannel(int listening, int number) { return AcceptChannelFrom(listening, platform::kNoSocket, number); }

int AcceptChannelFrom(int listening, platform::Socket listener, int number) {
    if (listening < 0 || number < 0) return kErrBadChannel;
    Channel* server = FindChannel(listening);
    if (server == nullptr) return kErrBadChannel;
    if (ChannelNumberOpen(number)) return kErrChannelInUse;
    if (server->kind != ChannelKind::Tcp) return kErrWrongKind;
    if (number > 32767) return kErrBadChannel;
    Channel* channel = new (std::nothrow) Channel;
    if (channel == nullptr) return kErrOutOfMemory;
    channel->number = static_cast<int16_t>(number);
    channel->kind = server->kind;
    channel->portNetOrder = server->portNetOrder;
    channel->addressNetOrder = server->addressNetOrder;
    channel->timeoutMs = server->timeoutMs;
    channel->socket =
        platform::AcceptConnection(listener != platform::kNoSocket ? listener : server->socket, &channel->peer);
    if (channel->socket == platform::kNoSocket) {
        int failure = SocketFailure();
        delete channel;
        return failure;
    }
    if (!platform::SocketLibraryStart()) {
        DiscardChannel(channel);
        return kErrNetworkUnavailable;
    }
    if (!InsertChannel(channel)) {
        DiscardChannel(channel);
        platform::SocketLibraryStop();
        return kErrChannelInUse;
    }
    return kOk;
}

int CloseChannel(int number, ChannelKind required) {
    Channel* channel = FindChannel(number);
    if (channel == nullptr) return kOk;
    if (required != ChannelKind::None && channel->kind != required) return kErrWrongKind;
    if (RemoveChannel(number) != channel) return kOk;
    DiscardChannel(channel);
    platform::SocketLibraryStop();
    return kOk;
}

platform::Socket ChannelSocket(int number, int& error) {
    Channel* channel = FindChannel(number);
    if (channel == nullptr) {
        error = kErrBadChannel;
        return 0;
    }
    error = kOk;
    return channel->socket;
}

uint32_t ChannelTimeoutMs(int number) {
    Channel* channel = FindChannel(number);
    return channel == nullptr ? 0 : channel->timeoutMs;
}

}  // namespace qv::net
