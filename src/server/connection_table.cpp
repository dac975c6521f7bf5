// The table's life, a connection's events, its close and the delivery of its answer.
#include "server/connection_table.h"

#include <algorithm>
#include <utility>

#include "server/responses.h"

namespace qv::server {

ConnectionTable::ConnectionTable(const TableOptions& options, const Settings& settings)
    : clock_(options.clock != nullptr ? options.clock : platform::MonotonicMilliseconds),
      connectionTimeoutMs_(net::TimeoutMicroseconds(options.channelTimeoutMs) / 1000u),
      programTimeLimitMs_(uint64_t{settings.programSeconds} * 1000u),
      programsAtOnce_(static_cast<size_t>(settings.programsAtOnce)),
      uploadLimit_(settings.uploadLimit),
      programQueueWaitMs_(options.programQueueWaitMs),
      openRetryWindowMs_(options.openRetryWindowMs),
      keepAliveMs_(options.keepAliveMs) {
    // The counter gives the number after the one it was set to.
    if (options.firstChannelNumber) net::SeedChannelCounter(static_cast<int16_t>(*options.firstChannelNumber - 1));
}

void ConnectionTable::BeginServing(platform::Window window) {
    window_ = window;
    acceptPaused_ = false;
    ceiling_ = kSlotCount;
    lastDeadlineCheckMs_ = NowMs();
    platform::SetWindowTimer(window, kDeadlineTimer, kDeadlineCheckMs);
}

void ConnectionTable::EndServing() {
    if (window_ != 0) {
        platform::KillWindowTimer(window_, kDeadlineTimer);
        platform::KillWindowTimer(window_, kAcceptResumeTimer);
    }
    acceptPaused_ = false;
    // Running programs are ended and their exchange files go.
    AbandonAllPrograms();
    handOffs_.clear();
    CloseRefused(true);
    for (LiveConnection* c : bySlot_) {
        if (c != nullptr) Close(*c);
    }
}

LiveConnection* ConnectionTable::Find(const ConnectionRef& ref) {
    if (!ValidSlot(ref.slot)) return nullptr;
    LiveConnection* c = bySlot_[ref.slot];
    return c != nullptr && c->id == ref.id ? c : nullptr;
}

// The close step: the channel closed, the slot freed, its request text blanked and its answer emptied.
void ConnectionTable::Close(LiveConnection& c) {
    const bool ownedTurn = OwnsProgramTurn(c);
    if (ownedTurn) AbandonProgramTurn(c);
    if (c.waitingForProgram) {
        std::deque<ConnectionRef>& waiting = programs_.waiting;
        waiting.erase(std::remove_if(waiting.begin(), waiting.end(),
                                     [&c](const ConnectionRef& ref) { return ref.slot == c.slot && ref.id == c.id; }),
                      waiting.end());
    }
    if (c.retrying) platform::KillWindowTimer(window_, kOpenRetryTimerBase + static_cast<uintptr_t>(c.slot));
    if (c.bodyPauseTimer) platform::KillWindowTimer(window_, kBodyPauseTimerBase + static_cast<uintptr_t>(c.slot));
    const int32_t slot = c.slot;
    net::CloseChannel(c.channel, net::ChannelKind::Tcp);
    ReleaseSlot(slot);
    bySlot_[slot] = nullptr;
    records_[slot].reset();  // the record goes with it
    live_ -= 1;
    if (ownedTurn) StartNextProgram();
}

void ConnectionTable::Follow(LiveConnection& c, Next next) {
    switch (next) {
    case Next::Wait:
        return;
    case Next::Close:
        Close(c);
        return;
    case Next::Decided:
        Handle(c);
        return;
    }
}

// After bytes were read: a body line still open is given until the client pauses.
void ConnectionTable::FollowRead(LiveConnection& c, Next next) {
    const uintptr_t timer = kBodyPauseTimerBase + static_cast<uintptr_t>(c.slot);
    if (next == Next::Wait && c.machine.WaitsForBodyLine()) {
        // Set again at each arrival, so the pause counts from the last bytes.
        platform::SetWindowTimer(window_, timer, kBodyPauseMs);
        c.bodyPauseTimer = true;
    } else if (c.bodyPauseTimer) {
        platform::KillWindowTimer(window_, timer);
        c.bodyPauseTimer = false;
    }
    Follow(c, next);
}

void ConnectionTable::OnBodyPause(int32_t slot) {
    platform::KillWindowTimer(window_, kBodyPauseTimerBase + static_cast<uintptr_t>(slot));
    LiveConnection* c = ValidSlot(slot) ? bySlot_[slot] : nullptr;
    if (c == nullptr || !c->bodyPauseTimer) return;
    c->bodyPauseTimer = false;
    Follow(*c, c->machine.OnBodyPause());
}

// The answer for the decided request, or word that its file is locked for now.
void ConnectionTable::Deliver(LiveConnection& c, Answer answer) {
    const uint64_t now = NowMs();
    const uintptr_t retryTimer = kOpenRetryTimerBase + static_cast<uintptr_t>(c.slot);
    if (answer.openLater()) {
        if (!c.retrying) {
            c.retrying = true;
            c.retryUntilMs = now + openRetryWindowMs_;
            platform::SetWindowTimer(window_, retryTimer, kOpenRetryPauseMs);
            return;
        }
        if (now <= c.retryUntilMs) return;
        // Locked all along: as a file that cannot be opened.
        answer = AnswerOf(NotFoundResponse());
    }
    if (c.retrying) {
        platform::KillWindowTimer(window_, retryTimer);
        c.retrying = false;
    }
    c.waitingForProgram = false;
    // The next request on a kept connection may be decided at once, or wait for a body line.
    FollowRead(c, c.machine.Answer(std::move(answer), now));
}

void ConnectionTable::Handle(LiveConnection& c) {
    if (WantsProgram(c.machine.request())) {
        c.waitingForProgram = true;
        c.queuedAtMs = NowMs();
        programs_.waiting.push_back(RefOf(c));
        StartNextProgram();
        return;
    }
    HandOff(c);
}

void ConnectionTable::RetryOpen(int32_t slot) {
    LiveConnection* c = ValidSlot(slot) ? bySlot_[slot] : nullptr;
    if (c == nullptr || !c->retrying) {
        platform::KillWindowTimer(window_, kOpenRetryTimerBase + static_cast<uintptr_t>(slot));
        return;
    }
    const ConnectionRef ref = RefOf(*c);
    Answer answer;
    try {
        answer = ServeFile(RouteView(*c), c->machine.request(), CurrentSettings());
        if (c->machine.request().head) answer.DropBody();
    } catch (...) {
        if ((c = Find(ref)) != nullptr) Close(*c);
        return;
    }
    if ((c = Find(ref)) != nullptr) Deliver(*c, std::move(answer));
}

void ConnectionTable::OnConnectionEvent(platform::Socket socket, uint32_t events, uint32_t error) {
    // At most 501 records: a look through them costs less than keeping an index.
    const auto found = std::find_if(bySlot_.begin(), bySlot_.end(),
                                    [socket](const LiveConnection* c) { return c != nullptr && c->socket == socket; });
    if (found == bySlot_.end()) return;  // closed meanwhile
    const ConnectionRef ref = RefOf(**found);
    // A reset or a failed connection: the client is gone, whatever was under
    // way for it; its slot, socket and file are released now.
    if ((events & platform::kSocketClose) != 0 && error != 0) {
        Close(**found);
        return;
    }
    // Every event is checked against the socket itself, so a late message
    // for a closed socket whose number was reused does no harm.
    if ((events & (platform::kSocketRead | platform::kSocketClose)) != 0) {
        LiveConnection* c = Find(ref);
        FollowRead(*c, c->machine.OnReadable(NowMs()));
    }
    if ((events & platform::kSocketWrite) != 0) {
        if (LiveConnection* c = Find(ref)) FollowRead(*c, c->machine.OnWritable(NowMs()));
    }
}

void ConnectionTable::OnTimer(uintptr_t id) {
    if (id == kDeadlineTimer) {
        CloseExpired();
        CloseRefused(false);
    } else if (id == kProgramWatchTimer) {
        WatchProgram();
    } else if (id == kProgramRetryTimer) {
        RetryProgramStart();
    } else if (id == kAcceptResumeTimer) {
        ResumeAccepting();
    } else if (id >= kOpenRetryTimerBase && id < kOpenRetryTimerBase + kSlotCount) {
        RetryOpen(static_cast<int32_t>(id - kOpenRetryTimerBase));
    } else if (id >= kBodyPauseTimerBase && id < kBodyPauseTimerBase + kSlotCount) {
        OnBodyPause(static_cast<int32_t>(id - kBodyPauseTimerBase));
    }
}

}  // namespace qv::server
