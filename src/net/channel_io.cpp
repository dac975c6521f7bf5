// Receiving and sending on a TCP channel, one attempt each, never waiting.
#include "net/channel_record.h"

namespace qv::net {
namespace {

platform::Socket OpenTcpSocketOf(int number) {
    Channel* channel = FindChannel(number);
    return channel != nullptr && channel->kind == ChannelKind::Tcp ? channel->socket : platform::kNoSocket;
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

void ShutdownChannelSending(int number) {
    platform::Socket socket = OpenTcpSocketOf(number);
    if (socket != platform::kNoSocket) platform::ShutdownSending(socket);
}

long ChannelUnsentBytes(int number) {
    platform::Socket socket = OpenTcpSocketOf(number);
    return socket == platform::kNoSocket ? -1 : platform::UnsentSocketBytes(socket);
}

}  // namespace qv::net
