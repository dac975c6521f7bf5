// The channel record and the table of open channels (internal to the layer).
#pragma once

#include <atomic>
#include <cstdint>

#include "net/channel.h"

namespace qv::net {

struct Channel {
    int16_t number = 0;
    platform::Socket socket = platform::kNoSocket;
    ChannelKind kind = ChannelKind::Tcp;
    uint16_t portNetOrder = 0;
    uint32_t addressNetOrder = 0;  // 0 for a listener on an IPv6 address
    uint32_t timeoutMs = 0;
    platform::PeerAddress peer;  // learnt when the connection was accepted
};

// Short process-wide spin locks; the order is open lock, then table lock.
class SpinLock {
public:
    void lock();
    void unlock();
private:
    std::atomic_flag flag_ = ATOMIC_FLAG_INIT;
};
SpinLock& OpenLock();

Channel* FindChannel(int number);        // null when not open
bool InsertChannel(Channel* channel);    // false when the number is taken
Channel* RemoveChannel(int number);      // the removed record, or null
bool ChannelNumberOpen(int number);

// The platform's last socket failure as a channel error.
int SocketFailure();

// A TCP socket bound to address:port and listening; kNoSocket and the channel error when it cannot be.
platform::Socket OpenListeningSocket(const platform::IpAddress& address, int port, int& failure);

}  // namespace qv::net
