// Program turns: programs run one at a time, in arrival order, each until
// it ends or its time limit is up.
#include <utility>

#include "server/connection_table.h"

namespace qv::server {
namespace {

// Counted for the process, not the table: a late end of a run started before
// a restart is never taken for a later table's run.
uintptr_t NextProgramTag() {
    static uintptr_t last = 0;
    return ++last;
}

}  // namespace

bool ConnectionTable::OwnsProgramTurn(const LiveConnection& c) const {
    return (programs_.running || programs_.starting) && programs_.owner.slot == c.slot && programs_.owner.id == c.id;
}

// The turn's connection is gone: its program is ended and the next one's turn comes.
void ConnectionTable::AbandonProgramTurn() {
    platform::KillWindowTimer(window_, kProgramWatchTimer);
    platform::KillWindowTimer(window_, kProgramRetryTimer);
    if (programs_.running) DropProgramRoute(programs_.run);
    programs_.running = false;
    programs_.starting = false;
    programs_.request = Request();
}

// Starts the program of the turn's connection, or arranges to try again.
// False when the turn is over at once (nothing runs, or the connection went).
bool ConnectionTable::StartTurn(const ConnectionRef& ref) {
    LiveConnection* c = Find(ref);
    if (c == nullptr) return false;
    ProgramRun run;
    Request request = c->machine.request();
    Answer answer;
    const bool mayRetry = programs_.attempts + 1 < kExchangeAttempts;
    try {
        answer = StartProgramRoute(RouteView(*c), request, CurrentSettings(), mayRetry, run);
    } catch (...) {
        DropProgramRoute(run);
        Close(*c);
        return false;
    }
    if (answer.openLater()) {
        // The turn stays this connection's; a timer tries again, nothing waits here.
        programs_.starting = true;
        programs_.owner = ref;
        programs_.attempts += 1;
        platform::SetWindowTimer(window_, kProgramRetryTimer, kExchangeRetryPauseMs);
        return true;
    }
    programs_.starting = false;
    if (run.process == 0) {
        Deliver(*c, std::move(answer));
        return false;
    }
    programs_.running = true;
    programs_.owner = ref;
    programs_.request = std::move(request);
    programs_.run = run;
    programs_.tag = NextProgramTag();
    programs_.startedMs = NowMs();
    // Its end, or the watch finding its time up, whichever comes first, finishes the turn.
    platform::NotifyProcessEnd(run.process, window_, kProgramEndMessage, programs_.tag);
    platform::SetWindowTimer(window_, kProgramWatchTimer, kProgramWatchMs);
    return true;
}

void ConnectionTable::StartNextProgram() {
    while (!programs_.running && !programs_.starting && !programs_.waiting.empty()) {
        const ConnectionRef ref = programs_.waiting.front();
        programs_.waiting.pop_front();
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
        programs_.attempts = 0;
        StartTurn(ref);
    }
}

void ConnectionTable::RetryProgramStart() {
    platform::KillWindowTimer(window_, kProgramRetryTimer);
    if (!programs_.starting) return;
    programs_.starting = false;
    StartTurn(programs_.owner);
    StartNextProgram();
}

void ConnectionTable::FinishProgram(bool timeUp) {
    if (!programs_.running) return;
    platform::KillWindowTimer(window_, kProgramWatchTimer);
    programs_.running = false;
    Answer answer = FinishProgramRoute(programs_.run, programs_.request, timeUp);
    if (LiveConnection* c = Find(programs_.owner)) Deliver(*c, std::move(answer));
    StartNextProgram();
}

// The running program's time is up, or it writes without end (ended before it fills the disk).
void ConnectionTable::WatchProgram() {
    if (!programs_.running) return;
    if (NowMs() - programs_.startedMs >= programTimeLimitMs_) {
        FinishProgram(true);
    } else if (platform::FileSize(programs_.run.fromProgram) > kProgramOutputCap) {
        FinishProgram(false);
    }
}

void ConnectionTable::OnProgramEnd(uintptr_t tag) {
    if (programs_.running && programs_.tag == tag) FinishProgram(false);
}

}  // namespace qv::server
