// What a connection table keeps for each open connection and for the
// program turns.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "net/channel.h"
#include "server/connection_events.h"
#include "server/connection_machine.h"
#include "server/routes.h"

namespace qv::server {

constexpr uint32_t kReadAndClose = platform::kSocketRead | platform::kSocketClose;

// The socket of a connection, through its channel.
class ChannelLink : public ConnectionLink {
public:
    ChannelLink(int channel, platform::Window window) : channel_(channel), window_(window) {}
    long ReceiveNow(char* buffer, size_t size) override { return net::ReceiveChannelNow(channel_, buffer, size); }
    long SendNow(const char* data, size_t size) override { return net::SendChannelNow(channel_, data, size); }
    long SendFileNow(platform::File file, uint64_t offset, size_t count) override {
        return net::SendChannelFileNow(channel_, file, offset, count);
    }
    void AskForWriteEvents() override {
        net::NotifyChannel(channel_, window_, kConnectionMessage, kReadAndClose | platform::kSocketWrite);
    }
    long UnsentBytes() override { return net::ChannelUnsentBytes(channel_); }
    void FinishSending() override { net::ShutdownChannelSending(channel_); }

private:
    int channel_;
    platform::Window window_;
};

struct LiveConnection {
    LiveConnection(uint64_t id, int32_t slot, int channel, platform::Socket socket, platform::Window window,
                   uint64_t nowMs, uint64_t timeoutMs, int64_t bodyLimit, uint64_t keepAliveMs)
        : id(id), slot(slot), channel(channel), socket(socket), link(channel, window),
          machine(link, nowMs, timeoutMs, bodyLimit, keepAliveMs) {}

    const uint64_t id;
    const int32_t slot;
    const int channel;
    const platform::Socket socket;
    ChannelLink link;
    ConnectionMachine machine;
    bool retrying = false;  // its file is locked, and is tried again by a timer
    uint64_t retryUntilMs = 0;
    bool bodyPauseTimer = false;  // waiting for the rest of a body line
    bool waitingForProgram = false;  // in the queue for its program's turn
    uint64_t queuedAtMs = 0;
};

// A connection as it may be looked for again later, when it may have gone.
struct ConnectionRef {
    int32_t slot;
    uint64_t id;
};

inline ConnectionRef RefOf(const LiveConnection& c) { return ConnectionRef{c.slot, c.id}; }

// The connection as the routes see it.
inline Connection RouteView(const LiveConnection& c) { return Connection{c.slot, c.channel}; }

// A program running for a connection.
struct RunningProgram {
    ConnectionRef owner{};
    Request request;
    ProgramRun run;
    uint64_t startedMs = 0;  // on the table's clock: its time limit counts from here
    uintptr_t tag = 0;  // tells this run's end from any other's
};

struct ProgramTurns {
    std::deque<ConnectionRef> waiting;  // in arrival order
    std::vector<RunningProgram> running;  // at most the programs allowed at once
    // The next turn's exchange files could not be made yet: tried again by a
    // timer, and no later turn starts before it.
    bool starting = false;
    int attempts = 0;
    ConnectionRef startingOwner{};
};

}  // namespace qv::server
