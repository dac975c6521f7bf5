// The channel layer: numbered TCP endpoints with a time-out each, read and
// written without waiting as their socket events come. Each operation reports
// a ChannelError code, or for the transfers a count, and never throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/channel_errors.h"
#include "platform/platform.h"

namespace qv::net {

enum class ChannelKind { None, Tcp, File };

// The accept notification message: WM_USER + 0x49.
constexpr uint32_t kAcceptMessage = 1097;
constexpr uint32_t kEventAccept = 0x08;
constexpr uint32_t kEventConnect = 0x10;

// The next free number of the rolling counter (1..32767); 0 when every number is open.
int16_t NextChannelNumber();
// The counter goes on from `last` (1..32767): the next number given is the one after it.
void SeedChannelCounter(int16_t last);

// Bound to the first IPv4 address of this computer's name.
int OpenServerChannel(int number, int port, uint32_t timeoutMs);
// Bound to `address` (null: as OpenServerChannel).
int OpenServerChannelAt(int number, const platform::IpAddress* address, int port, uint32_t timeoutMs);
int NotifyChannel(int number, platform::Window window, uint32_t message, uint32_t events);
int AcceptChannel(int listening, int number);
// The same from `listener`, a listening socket beside the listening channel
// (see OpenListener); the new channel takes the listening channel's port and
// time-out. kNoSocket: the listening channel's own socket.
int AcceptChannelFrom(int listening, platform::Socket listener, int number);

// A listening socket that is no channel: a further address the server
// listens on, its connections accepted into channels with AcceptChannelFrom.
// kNoSocket when it cannot be opened (the platform's last error tells why).
platform::Socket OpenListener(const platform::IpAddress& address, int port);
void CloseListener(platform::Socket listener);
// The first IPv4 address of this computer's name; false when it has none.
bool FirstLocalHostIpAddress(platform::IpAddress& address);
// `required` ChannelKind::None accepts any kind.
int CloseChannel(int number, ChannelKind required);
platform::Socket ChannelSocket(int number, int& error);
std::string ChannelPeerAddress(int number);
std::string LocalHostName();
std::string HostNameOf(uint32_t addressNetOrder);

// For a connection driven by socket events: one attempt each, never waiting.
// The count moved, platform::kWouldBlock when the socket is not ready, -1 on
// failure (or a closed channel); a receive gives 0 once the peer has finished
// sending. The bytes received go straight to the caller's buffer.
long ReceiveChannelNow(int number, char* buffer, size_t size);
long SendChannelNow(int number, const char* data, size_t size);
// The channel's sending side finished; it still receives.
void ShutdownChannelSending(int number);
// Up to `count` bytes of `file` from `offset`; 0 when the file has no byte there.
long SendChannelFileNow(int number, platform::File file, uint64_t offset, size_t count);
// Bytes sent that the peer has not taken yet; -1 where the system cannot tell.
long ChannelUnsentBytes(int number);
// The channel's time-out as a wait, counting 1024 ms as one second.
uint64_t TimeoutMicroseconds(uint32_t timeoutMs);
uint32_t ChannelTimeoutMs(int number);

}  // namespace qv::net
