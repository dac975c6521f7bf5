#include "server/connection_events.h"

#include <algorithm>
#include <array>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "content/busy_page.h"
#include "net/channel.h"
#include "server/connection_machine.h"
#include "server/responses.h"
#include "server/routes.h"
#include "server/server_control.h"
#include "server/server_state.h"

namespace qv::server {
namespace {

using Next = ConnectionMachine::Next;

// Accepts per notification: a flood of connections cannot hold the loop, and
// the listener reports again while more are pending.
constexpr int kAcceptsPerEvent = 64;
constexpr uint32_t kReadAndClose = platform::kSocketRead | platform::kSocketClose;
// Refused connections: how many are held open at most, and for how long.
constexpr size_t kRefusedHeld = 64;
constexpr uint64_t kRefusedLingerMs = 500;
constexpr int kReceivesBeforeClose = 4;
// Out of descriptors: accepting pauses this long, and this many of the
// idlest connections waiting for their header are closed to make room.
constexpr uint32_t kAcceptPauseMs = 20;
constexpr size_t kRoomMadeAtShortage = 16;
// A deadline check this much later than due means the loop was held (a long
// host call, a host that did not pump): that time is nobody's client's.
constexpr uint64_t kLoopHeldMs = 3 * uint64_t{kDeadlineCheckMs};

uint64_t (*gClock)() = platform::MonotonicMilliseconds;

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

private:
    int channel_;
    platform::Window window_;
};

struct LiveConnection {
    LiveConnection(uint64_t id, int32_t slot, int channel, platform::Socket socket, platform::Window window,
                   uint64_t nowMs)
        : id(id), slot(slot), channel(channel), socket(socket), link(channel, window),
          machine(link, nowMs, TimeoutMs()) {}

    static uint64_t TimeoutMs() { return net::TimeoutMicroseconds(kChannelTimeoutMs) / 1000u; }

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

struct ProgramTurns {
    std::deque<ConnectionRef> waiting;  // in arrival order
    bool running = false;
    // The turn's exchange files could not be made yet: tried again by a timer.
    bool starting = false;
    int attempts = 0;
    ConnectionRef owner{};
    Request request;
    ProgramRun run;
    uint64_t startedMs = 0;  // on the server's clock: its time limit counts from here
    uintptr_t tag = 0;  // tells this run's end from an earlier one's
};

struct Connections {
    platform::Window window = 0;
    uint64_t nextId = 1;
    // The records live in their slots, so opening and closing a connection
    // allocates nothing for the record itself.
    std::array<std::optional<LiveConnection>, kSlotCount> records;
    std::array<LiveConnection*, kSlotCount> bySlot{};
    ProgramTurns programs;
    // Hand-offs to the host go one at a time: requests decided while one is
    // under way (a host that pumps messages) wait here for their turn.
    bool handingOff = false;
    std::deque<ConnectionRef> handOffs;
    // Connections told the server is busy: closed a little later, so that the
    // page is not lost to a reset when the rest of their request arrives.
    std::deque<std::pair<int, uint64_t>> refused;  // channel, when
    bool acceptPaused = false;  // out of descriptors: the listener rests
    // How many connections may be open at once: all the slots, or fewer once
    // the system ran out of descriptors (the rest are kept for the files the
    // answers open); it climbs back by one at each deadline check.
    size_t ceiling = kSlotCount;
    size_t live = 0;
    uint64_t lastDeadlineCheckMs = 0;
};

// Never destroyed: the library's unload closes what is still open, and may
// come after the process's static objects are gone.
Connections& Open() {
    static Connections& connections = *new Connections;
    return connections;
}

uint64_t NowMs() { return gClock(); }

LiveConnection* Find(const ConnectionRef& ref) {
    if (!ValidSlot(ref.slot)) return nullptr;
    LiveConnection* c = Open().bySlot[ref.slot];
    return c != nullptr && c->id == ref.id ? c : nullptr;
}

ConnectionRef RefOf(const LiveConnection& c) { return ConnectionRef{c.slot, c.id}; }

void StartNextProgram();

bool OwnsProgramTurn(const LiveConnection& c) {
    const ProgramTurns& programs = Open().programs;
    return (programs.running || programs.starting) && programs.owner.slot == c.slot && programs.owner.id == c.id;
}

// The turn's connection is gone: its program is ended and the next one's turn comes.
void AbandonProgramTurn() {
    Connections& open = Open();
    ProgramTurns& programs = open.programs;
    platform::KillWindowTimer(open.window, kProgramWatchTimer);
    platform::KillWindowTimer(open.window, kProgramRetryTimer);
    if (programs.running) DropProgramRoute(programs.run);
    programs.running = false;
    programs.starting = false;
    programs.request = Request();
}

// The close step: the channel closed, the slot freed, its request text blanked and its answer emptied.
void Close(LiveConnection& c) {
    Connections& open = Open();
    const bool ownedTurn = OwnsProgramTurn(c);
    if (ownedTurn) AbandonProgramTurn();
    if (c.waitingForProgram) {
        std::deque<ConnectionRef>& waiting = open.programs.waiting;
        waiting.erase(std::remove_if(waiting.begin(), waiting.end(),
                                     [&c](const ConnectionRef& ref) { return ref.slot == c.slot && ref.id == c.id; }),
                      waiting.end());
    }
    if (c.retrying) platform::KillWindowTimer(open.window, kOpenRetryTimerBase + static_cast<uintptr_t>(c.slot));
    if (c.bodyPauseTimer) platform::KillWindowTimer(open.window, kBodyPauseTimerBase + static_cast<uintptr_t>(c.slot));
    const int32_t slot = c.slot;
    net::CloseChannel(c.channel, net::ChannelKind::Tcp);
    ReleaseSlot(slot);
    open.bySlot[slot] = nullptr;
    open.records[slot].reset();  // the record goes with it
    open.live -= 1;
    if (ownedTurn) StartNextProgram();
}

void Handle(LiveConnection& c);

void Follow(LiveConnection& c, Next next) {
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
void FollowRead(LiveConnection& c, Next next) {
    const uintptr_t timer = kBodyPauseTimerBase + static_cast<uintptr_t>(c.slot);
    if (next == Next::Wait && c.machine.WaitsForBodyLine()) {
        // Set again at each arrival, so the pause counts from the last bytes.
        platform::SetWindowTimer(Open().window, timer, kBodyPauseMs);
        c.bodyPauseTimer = true;
    } else if (c.bodyPauseTimer) {
        platform::KillWindowTimer(Open().window, timer);
        c.bodyPauseTimer = false;
    }
    Follow(c, next);
}

void OnBodyPause(int32_t slot) {
    platform::KillWindowTimer(Open().window, kBodyPauseTimerBase + static_cast<uintptr_t>(slot));
    LiveConnection* c = ValidSlot(slot) ? Open().bySlot[slot] : nullptr;
    if (c == nullptr || !c->bodyPauseTimer) return;
    c->bodyPauseTimer = false;
    Follow(*c, c->machine.OnBodyPause());
}

// The answer for the decided request, or word that its file is locked for now.
void Deliver(LiveConnection& c, Answer answer) {
    Connections& open = Open();
    const uint64_t now = NowMs();
    const uintptr_t retryTimer = kOpenRetryTimerBase + static_cast<uintptr_t>(c.slot);
    if (answer.openLater()) {
        if (!c.retrying) {
            c.retrying = true;
            c.retryUntilMs = now + kOpenRetryWindowMs;
            platform::SetWindowTimer(open.window, retryTimer, kOpenRetryPauseMs);
            return;
        }
        if (now <= c.retryUntilMs) return;
        // Locked all along: as a file that cannot be opened.
        answer = AnswerOf(NotFoundResponse());
    }
    if (c.retrying) {
        platform::KillWindowTimer(open.window, retryTimer);
        c.retrying = false;
    }
    c.waitingForProgram = false;
    Follow(c, c.machine.Answer(std::move(answer), now));
}

Connection RouteView(const LiveConnection& c) { return Connection{c.slot, c.channel}; }

// Starts the program of the turn's connection, or arranges to try again.
// False when the turn is over at once (nothing runs, or the connection went).
bool StartTurn(const ConnectionRef& ref) {
    Connections& open = Open();
    ProgramTurns& programs = open.programs;
    LiveConnection* c = Find(ref);
    if (c == nullptr) return false;
    ProgramRun run;
    Request request = c->machine.request();
    Answer answer;
    const bool mayRetry = programs.attempts + 1 < kExchangeAttempts;
    try {
        answer = StartProgramRoute(RouteView(*c), request, CurrentSettings(), mayRetry, run);
    } catch (...) {
        DropProgramRoute(run);
        Close(*c);
        return false;
    }
    if (answer.openLater()) {
        // The turn stays this connection's; a timer tries again, nothing waits here.
        programs.starting = true;
        programs.owner = ref;
        programs.attempts += 1;
        platform::SetWindowTimer(open.window, kProgramRetryTimer, kExchangeRetryPauseMs);
        return true;
    }
    programs.starting = false;
    if (run.process == 0) {
        Deliver(*c, std::move(answer));
        return false;
    }
    programs.running = true;
    programs.owner = ref;
    programs.request = std::move(request);
    programs.run = run;
    programs.tag += 1;
    programs.startedMs = NowMs();
    // Its end, or the watch finding its time up, whichever comes first, finishes the turn.
    platform::NotifyProcessEnd(run.process, open.window, kProgramEndMessage, programs.tag);
    platform::SetWindowTimer(open.window, kProgramWatchTimer, kProgramWatchMs);
    return true;
}

void StartNextProgram() {
    ProgramTurns& programs = Open().programs;
    while (!programs.running && !programs.starting && !programs.waiting.empty()) {
        const ConnectionRef ref = programs.waiting.front();
        programs.waiting.pop_front();
        LiveConnection* c = Find(ref);
        // Gone, or answered while it waited (its wait ran out).
        if (c == nullptr || !c->waitingForProgram) continue;
        c->waitingForProgram = false;
        // A client that left meanwhile may not have been noticed yet: its
        // program would only be started to be ended.
        if (c->machine.OnReadable(NowMs()) == Next::Close) {
            Close(*c);
            continue;
        }
        programs.attempts = 0;
        StartTurn(ref);
    }
}

void RetryProgramStart() {
    Connections& open = Open();
    ProgramTurns& programs = open.programs;
    platform::KillWindowTimer(open.window, kProgramRetryTimer);
    if (!programs.starting) return;
    programs.starting = false;
    StartTurn(programs.owner);
    StartNextProgram();
}

void FinishProgram() {
    Connections& open = Open();
    ProgramTurns& programs = open.programs;
    if (!programs.running) return;
    platform::KillWindowTimer(open.window, kProgramWatchTimer);
    programs.running = false;
    Answer answer = FinishProgramRoute(programs.run, programs.request);
    if (LiveConnection* c = Find(programs.owner)) Deliver(*c, std::move(answer));
    StartNextProgram();
}

// Every deadline counts afresh: the loop was held, and no client is to blame.
void RestartDeadlines(uint64_t now) {
    Connections& open = Open();
    for (LiveConnection* c : open.bySlot) {
        if (c == nullptr) continue;
        c->machine.RestartDeadlines(now);
        if (c->waitingForProgram && c->queuedAtMs < now) c->queuedAtMs = now;
    }
    open.lastDeadlineCheckMs = now;
}

void HandOff(LiveConnection& c) {
    Connections& open = Open();
    open.handOffs.push_back(RefOf(c));
    if (open.handingOff) return;
    open.handingOff = true;
    while (!open.handOffs.empty()) {
        const ConnectionRef ref = open.handOffs.front();
        open.handOffs.pop_front();
        LiveConnection* next = Find(ref);
        if (next == nullptr) continue;
        // The host may stop the server, or a pumped message may close this
        // connection, while it has the request: nothing of the record is used
        // across the call.
        const Request request = next->machine.request();
        Answer answer;
        bool failed = false;
        const uint64_t before = NowMs();
        try {
            answer = Dispatch(RouteView(*next), request, CurrentSettings());
        } catch (...) {
            failed = true;
        }
        // While the host had the request nothing else was served.
        const uint64_t after = NowMs();
        if (after - before >= kDeadlineCheckMs) RestartDeadlines(after);
        next = Find(ref);
        if (next == nullptr) continue;
        if (failed) {
            Close(*next);
        } else {
            Deliver(*next, std::move(answer));
        }
    }
    open.handingOff = false;
}

void Handle(LiveConnection& c) {
    if (WantsProgram(c.machine.request())) {
        c.waitingForProgram = true;
        c.queuedAtMs = NowMs();
        Open().programs.waiting.push_back(RefOf(c));
        StartNextProgram();
        return;
    }
    HandOff(c);
}

// The connection whose client has made no progress for the longest (sent
// nothing of its request, or taken nothing of its answer), or null when
// none may be closed: a request being answered by a program or the host is
// never taken, and with `readingOnly` neither is an answer going out.
LiveConnection* Idlest(bool readingOnly) {
    LiveConnection* idlest = nullptr;
    for (LiveConnection* c : Open().bySlot) {
        if (c == nullptr) continue;
        const ConnectionMachine::Phase phase = c->machine.phase();
        const bool reading = phase == ConnectionMachine::Phase::ReadHeader;
        if (!reading && (readingOnly || phase != ConnectionMachine::Phase::Write)) continue;
        if (idlest == nullptr || c->machine.lastProgressMs() < idlest->machine.lastProgressMs() ||
            (c->machine.lastProgressMs() == idlest->machine.lastProgressMs() && c->id < idlest->id)) {
            idlest = c;
        }
    }
    return idlest;
}

// Takes what the client sent, so that the close does not reset the connection under the page.
void DrainAndClose(int channel) {
    char scratch[4096];
    for (int round = 0; round < kReceivesBeforeClose; ++round) {
        if (net::ReceiveChannelNow(channel, scratch, sizeof scratch) <= 0) break;
    }
    net::CloseChannel(channel, net::ChannelKind::Tcp);
}

const std::string& BusyResponse() {
    static const std::string& busy = *new std::string(
        ResponseBlock("HTTP/1.0 503 Service Unavailable", "text/html", content::BuildBusyPage()) + kCrLf);
    return busy;
}

// Every slot holds a connection that is being answered: this one is told so and closed soon after.
void RefuseBusy(int channel) {
    const std::string& busy = BusyResponse();
    net::SendChannelNow(channel, busy.data(), busy.size());
    std::deque<std::pair<int, uint64_t>>& refused = Open().refused;
    if (refused.size() >= kRefusedHeld) {
        DrainAndClose(refused.front().first);
        refused.pop_front();
    }
    refused.emplace_back(channel, NowMs());
}

void CloseRefused(bool all) {
    std::deque<std::pair<int, uint64_t>>& refused = Open().refused;
    const uint64_t now = NowMs();
    while (!refused.empty() && (all || now - refused.front().second >= kRefusedLingerMs)) {
        DrainAndClose(refused.front().first);
        refused.pop_front();
    }
}

void OpenConnection(int channel) {
    Connections& open = Open();
    // Past the ceiling the idlest waiting connection makes room, as when every slot is taken.
    if (open.live >= open.ceiling) {
        if (LiveConnection* idlest = Idlest(true)) Close(*idlest);
    }
    int32_t slot = open.live < open.ceiling ? ClaimSlot(channel) : -1;
    if (slot < 0) {
        if (LiveConnection* idlest = Idlest(false)) {
            Close(*idlest);
            slot = ClaimSlot(channel);
        }
    }
    if (slot < 0) {
        RefuseBusy(channel);
        return;
    }
    int error = net::kOk;
    const platform::Socket socket = net::ChannelSocket(channel, error);
    if (error != net::kOk ||
        net::NotifyChannel(channel, open.window, kConnectionMessage, kReadAndClose) != net::kOk) {
        net::CloseChannel(channel, net::ChannelKind::Tcp);
        ReleaseSlot(slot);
        return;
    }
    LiveConnection& c = open.records[slot].emplace(open.nextId++, slot, channel, socket, open.window, NowMs());
    open.bySlot[slot] = &c;
    open.live += 1;
    // The request has usually arrived with the connection: read it at once.
    FollowRead(c, c.machine.OnReadable(NowMs()));
}

void CloseExpired() {
    Connections& open = Open();
    const uint64_t now = NowMs();
    if (open.lastDeadlineCheckMs != 0 && now - open.lastDeadlineCheckMs >= kLoopHeldMs) {
        RestartDeadlines(now);
        return;
    }
    open.lastDeadlineCheckMs = now;
    if (open.ceiling < kSlotCount) open.ceiling += 1;
    std::vector<ConnectionRef> expired, waitedOut;
    for (LiveConnection* c : open.bySlot) {
        if (c == nullptr) continue;
        if (c->waitingForProgram) {
            if (now - c->queuedAtMs >= kProgramQueueWaitMs) waitedOut.push_back(RefOf(*c));
        } else if (c->machine.Expired(now)) {
            expired.push_back(RefOf(*c));
        }
    }
    for (const ConnectionRef& ref : expired) {
        if (LiveConnection* c = Find(ref)) Close(*c);
    }
    // Waited its whole time for a program's turn: told the server is busy.
    for (const ConnectionRef& ref : waitedOut) {
        if (LiveConnection* c = Find(ref)) Deliver(*c, Answer(BusyResponse()));
    }
}

// The running program's time is up, or it writes without end (ended before it fills the disk).
void WatchProgram() {
    ProgramTurns& programs = Open().programs;
    if (!programs.running) return;
    if (NowMs() - programs.startedMs >= kProgramWaitMs ||
        platform::FileSize(programs.run.fromProgram) > kProgramOutputCap) {
        FinishProgram();
    }
}

void PauseAccepting(int32_t listening) {
    Connections& open = Open();
    open.acceptPaused = true;
    open.ceiling = open.live > kRoomMadeAtShortage ? open.live - kRoomMadeAtShortage : 1;
    net::NotifyChannel(listening, open.window, net::kAcceptMessage, 0);
    platform::SetWindowTimer(open.window, kAcceptResumeTimer, kAcceptPauseMs);
    for (size_t made = 0; made < kRoomMadeAtShortage; ++made) {
        LiveConnection* idlest = Idlest(true);
        if (idlest == nullptr) break;
        Close(*idlest);
    }
    // The refused are closed too: each holds a descriptor.
    CloseRefused(true);
}

void ResumeAccepting() {
    Connections& open = Open();
    platform::KillWindowTimer(open.window, kAcceptResumeTimer);
    if (!open.acceptPaused) return;
    open.acceptPaused = false;
    ServerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    // Registering again reports the connections that waited meanwhile.
    if (s.listeningOpen) {
        net::NotifyChannel(s.listeningChannel, open.window, net::kAcceptMessage, net::kEventAccept | net::kEventConnect);
    }
}

void RetryOpen(int32_t slot) {
    LiveConnection* c = ValidSlot(slot) ? Open().bySlot[slot] : nullptr;
    if (c == nullptr || !c->retrying) {
        platform::KillWindowTimer(Open().window, kOpenRetryTimerBase + static_cast<uintptr_t>(slot));
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

}  // namespace

void UseClock(uint64_t (*now)()) { gClock = now != nullptr ? now : platform::MonotonicMilliseconds; }

void BeginServing(platform::Window window) {
    Connections& open = Open();
    open.window = window;
    open.acceptPaused = false;
    open.ceiling = kSlotCount;
    open.lastDeadlineCheckMs = NowMs();
    platform::SetWindowTimer(window, kDeadlineTimer, kDeadlineCheckMs);
}

void EndServing() {
    Connections& open = Open();
    if (open.window != 0) {
        platform::KillWindowTimer(open.window, kDeadlineTimer);
        platform::KillWindowTimer(open.window, kAcceptResumeTimer);
    }
    open.acceptPaused = false;
    ProgramTurns& programs = open.programs;
    // A running program is ended and its exchange files go.
    AbandonProgramTurn();
    programs.waiting.clear();
    open.handOffs.clear();
    CloseRefused(true);
    for (LiveConnection* c : open.bySlot) {
        if (c != nullptr) Close(*c);
    }
}

void AcceptPending() {
    int32_t listening;
    {
        ServerState& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        if (!s.listeningOpen) return;
        listening = s.listeningChannel;
    }
    if (Open().acceptPaused) return;
    for (int round = 0; round < kAcceptsPerEvent; ++round) {
        int16_t number = net::NextChannelNumber();
        if (number == 0) return;
        if (net::AcceptChannel(listening, number) != net::kOk) {
            // Out of descriptors the pending connection stays pending, and the
            // listener would report it again at once: it rests instead.
            if (platform::IsResourceShortage(platform::LastSocketError())) PauseAccepting(listening);
            return;
        }
        OpenConnection(number);
    }
}

void OnConnectionEvent(platform::Socket socket, uint32_t events, uint32_t error) {
    Connections& open = Open();
    // At most 501 records: a look through them costs less than keeping an index.
    const auto found = std::find_if(open.bySlot.begin(), open.bySlot.end(),
                                    [socket](const LiveConnection* c) { return c != nullptr && c->socket == socket; });
    if (found == open.bySlot.end()) return;  // closed meanwhile
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
        if (LiveConnection* c = Find(ref)) Follow(*c, c->machine.OnWritable(NowMs()));
    }
}

void OnProgramEnd(uintptr_t tag) {
    ProgramTurns& programs = Open().programs;
    if (programs.running && programs.tag == tag) FinishProgram();
}

void OnTimer(uintptr_t id) {
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
