#include "server/request_intake.h"

#include "net/channel.h"

namespace qv::server {
namespace {

// Feeds the reader whatever the channel holds, taking it out of the channel
// (a POST body may be larger than the channel's buffer).
RequestReader::Status FeedNew(int channel, RequestReader& reader, size_t& fed) {
    int error = net::kOk;
    const size_t buffered = net::BufferedChannelBytes(channel, error).size();
    if (buffered == 0) return reader.status();
    std::string fresh = net::ReceiveChannel(channel, buffered, error);
    fed += fresh.size();
    return reader.Feed(fresh);
}

// The body of a POST to a program, after the header: each wait for more bytes
// lasts at most the channel's time-out; a body not complete by then starts nothing.
RequestReader::Status ReadBody(int channel, RequestReader& reader, size_t& fed) {
    const uint64_t waitMs = net::TimeoutMicroseconds(net::ChannelTimeoutMs(channel)) / 1000u;
    while (reader.AwaitingBody()) {
        size_t got = 0;
        bool closed = false;
        int error = net::ReceiveChannelUntil(channel, platform::MonotonicMilliseconds() + waitMs, got, closed);
        if (got > 0) FeedNew(channel, reader, fed);
        if (closed || error != net::kOk) break;
    }
    return reader.Finish();
}

}  // namespace

RequestReader::Status ReadRequest(int channel, RequestReader& reader) {
    using Status = RequestReader::Status;
    size_t fed = 0;
    const uint64_t mark = platform::MonotonicMilliseconds() + kReadMarkMs;

    // Before the mark: answer as soon as the bytes that decide the request are in.
    for (;;) {
        size_t got = 0;
        bool closed = false;
        int error = net::ReceiveChannelUntil(channel, mark, got, closed);
        if (got > 0 && FeedNew(channel, reader, fed) != Status::NotYet) return reader.status();
        if (closed) return reader.Finish();
        if (error == net::kErrTimeout) break;
        if (error != net::kOk) return fed > 0 ? reader.Finish() : Status::NoAnswer;
    }

    // At the mark: take what has arrived by now, as the single receive would.
    if (fed > 0) {
        for (;;) {
            size_t got = 0;
            bool closed = false;
            int error = net::ReceiveChannelUntil(channel, 0, got, closed);
            if (got > 0 && FeedNew(channel, reader, fed) != Status::NotYet) return reader.status();
            if (got == 0 || closed || error != net::kOk) break;
        }
        return ReadBody(channel, reader, fed);
    }

    // Nothing yet: the first data within the channel time-out, one read of it.
    uint64_t waitMs = net::TimeoutMicroseconds(net::ChannelTimeoutMs(channel)) / 1000u;
    size_t got = 0;
    bool closed = false;
    net::ReceiveChannelUntil(channel, platform::MonotonicMilliseconds() + waitMs, got, closed);
    if (got == 0) return Status::NoAnswer;
    FeedNew(channel, reader, fed);
    return ReadBody(channel, reader, fed);
}

}  // namespace qv::server
