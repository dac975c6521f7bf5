// Receiving and sending on a TCP channel, each wait bounded by the channel's time-out.
#include <algorithm>
#include <cstring>

#include "net/channel_record.h"

namespace qv::net {
namespace {

int CheckTcp(Channel* channel) {
    if (channel == nullptr) return kErrBadChannel;
    if (channel->kind != ChannelKind::Tcp) return kErrWrongKind;
    return kOk;
}

// Hands out up to `wanted` bytes from the front of the buffer.
size_t TakeBuffered(Channel* channel, size_t wanted, std::string& out) {
    size_t taken = std::min<size_t>(wanted, channel->buffered);
    out.append(channel->buffer, taken);
    std::memmove(channel->buffer, channel->buffer + taken, channel->buffered - taken);
    channel->buffered -= static_cast<uint32_t>(taken);
    return taken;
}

}  // namespace

std::string ReceiveChannel(int number, size_t count, int& error) {
    Channel* channel = FindChannel(number);
    error = CheckTcp(channel);
    std::string result;
    if (error != kOk) return result;
    channel->shortRead = false;
    for (;;) {
        if (channel->buffered > 0) {
            TakeBuffered(channel, count - result.size(), result);
            if (channel->buffered > 0 || channel->shortRead) break;
        }
        if (result.size() >= count) break;
        platform::WaitResult ready =
            platform::WaitSocket(channel->socket, false, TimeoutMicroseconds(channel->timeoutMs));
        if (ready == platform::WaitResult::Failed) {
            error = SocketFailure();
            return std::string();
        }
        if (ready == platform::WaitResult::TimedOut) {
            if (result.empty()) error = kErrTimeout;
            break;
        }
        long got = platform::ReceiveSocket(channel->socket, channel->buffer, kChannelBufferSize);
        if (got < 0) {
            error = SocketFailure();
            return std::string();
        }
        channel->buffered = static_cast<uint32_t>(got);
        if (static_cast<size_t>(got) != kChannelBufferSize) channel->shortRead = true;
        if (got == 0) break;
    }
    return result;
}

namespace {

platform::Socket OpenTcpSocketOf(int number) {
    Channel* channel = FindChannel(number);
    return CheckTcp(channel) == kOk ? channel->socket : platform::kNoSocket;
}

}  // namespace

long ReceiveChannelNow(int number, char* buffer, size_t size) {
    platform::Socket socket = OpenTcpSocketOf(number);
    return socket == platform::kNoSocket ? -1 : platform::ReceiveSocketNow(socket, buffer, size);
}

long SendChannelNow(int number, const char* data, size_t size) {
    platform::Socket socket = OpenTcpSocketOf(number);
    return socket == platform::kNoSocket ? -1 : platform::SendSocketNow(socket, data, size);
}

long SendChannelFileNow(int number, platform::File file, uint64_t offset, size_t count) {
    platform::Socket socket = OpenTcpSocketOf(number);
    return socket == platform::kNoSocket ? -1 : platform::SendFileNow(socket, file, offset, count);
}

long ChannelUnsentBytes(int number) {
    platform::Socket socket = OpenTcpSocketOf(number);
    return socket == platform::kNoSocket ? -1 : platform::UnsentSocketBytes(socket);
}

int SendChannel(int number, const std::string& data) { return SendChannel(number, data.data(), data.size()); }

int SendChannel(int number, const char* data, size_t size) {
    Channel* channel = FindChannel(number);
    int error = CheckTcp(channel);
    if (error != kOk) return error;
    // Each piece is offered at once; only a full send buffer makes it wait, for at most the time-out.
    size_t sent = 0;
    bool mustWait = size == 0;
    for (;;) {
        if (mustWait) {
            platform::WaitResult ready =
                platform::WaitSocket(channel->socket, true, TimeoutMicroseconds(channel->timeoutMs));
            if (ready == platform::WaitResult::Failed) return SocketFailure();
            if (ready == platform::WaitResult::TimedOut) return kErrTimeout;
        }
        if (sent == size) return kOk;
        long accepted = platform::SendSocketNow(channel->socket, data + sent, size - sent);
        if (accepted < 0 && accepted != platform::kWouldBlock) return SocketFailure();
        mustWait = accepted == platform::kWouldBlock;
        if (!mustWait) sent += static_cast<size_t>(accepted);
    }
}

}  // namespace qv::net
