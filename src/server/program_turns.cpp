// Program turns: up to the programs allowed at once run side by side, the
// rest wait in arrival order; each runs until it ends or its time is up.
#include <algorithm>
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

bool Owns(const ConnectionRef& owner, const LiveConnection& c) { return owner.slot == c.slot && owner.id == c.id; }

}  // namespace

bool ConnectionTable::OwnsProgramTurn(const LiveConnection& c) const {
    if (programs_.starting && Owns(programs_.startingOwner, c)) return true;
    return std::any_of(programs_.running.begin(), programs_.running.end(),
                       [&c](const RunningProgram& p) { return Owns(p.owner, c); });
}

// The connection is gone: its program is ended, or its start no longer tried.
void ConnectionTable::AbandonProgramTurn(const LiveConnection& c) {
    if (programs_.starting && Owns(programs_.startingOwner, c)) {
        platform::KillWindowTimer(window_, kProgramRetryTimer);
        programs_.starting = false;
    }
    std::vector<RunningProgram>& running = programs_.running;
    for (auto p = running.begin(); p != running.end(); ++p) {
        if (!Owns(p->owner, c)) continue;
        DropProgramRoute(p->run);
        running.erase(p);
        break;
    }
    if (running.empty()) platform::KillWindowTimer(window_, kProgramWatchTimer);
}

// Every program ended and every start forgotten (the server stops).
void ConnectionTable::AbandonAllPrograms() {
    platform::KillWindowTimer(window_, kProgramWatchTimer);
    platform::KillWindowTimer(window_, kProgramRetryTimer);
    for (RunningProgram& p : programs_.running) DropProgramRoute(p.run);
    programs_.running.clear();
    programs_.starting = false;
    programs_.waiting.clear();
}

// Starts the program of the turn's connection, or arranges to try again.
void ConnectionTable::StartTurn(const ConnectionRef& ref) {
    LiveConnection* c = Find(ref);
    if (c == nullptr) return;
    ProgramRun run;
    Request request = c->machine.request();
    Answer answer;
    const bool mayRetry = programs_.attempts + 1 < kExchangeAttempts;
    try {
        answer = StartProgramRoute(RouteView(*c), request, CurrentSettings(), mayRetry, run);
    } catch (...) {
        DropProgramRoute(run);
        Close(*c);
        return;
    }
    if (answer.openLater()) {
        // The turn stays this connection's; a timer tries again, nothing waits here.
        programs_.starting = true;
        programs_.startingOwner = ref;
        programs_.attempts += 1;
        platform::SetWindowTimer(window_, kProgramRetryTimer, kExchangeRetryPauseMs);
        return;
    }
    if (run.process == 0) {
        Deliver(*c, std::move(answer));
        return;
    }
    RunningProgram program;
    program.owner = ref;
    program.request = std::move(request);
    program.run = run;
    program.tag = NextProgramTag();
    program.startedMs = NowMs();
    // Its end, or the watch finding its time up, whichever comes first, finishes the turn.
    platform::NotifyProcessEnd(run.process, window_, kProgramEndMessage, program.tag);
    programs_.running.push_back(std::move(program));
    platform::SetWindowTimer(window_, kProgramWatchTimer, kProgramWatchMs);
}

void ConnectionTable::StartNextProgram() {
    while (!programs_.starting && programs_.running.size() < programsAtOnce_ && !programs_.waiting.empty()) {
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
    StartTurn(programs_.startingOwner);
    StartNextProgram();
}

void ConnectionTable::FinishProgram(uintptr_t tag, bool timeUp) {
    std::vector<RunningProgram>& running = programs_.running;
    const auto found =
        std::find_if(running.begin(), running.end(), [tag](const RunningProgram& p) { return p.tag == tag; });
    if (found == running.end()) return;
    RunningProgram program = std::move(*found);
    running.erase(found);
    if (running.empty()) platform::KillWindowTimer(window_, kProgramWatchTimer);
    Answer answer = FinishProgramRoute(program.run, program.request, timeUp);
    if (LiveConnection* c = Find(program.owner)) Deliver(*c, std::move(answer));
    StartNextProgram();
}

// Running programs whose time is up, or that write without end (ended
// before they fill the disk).
void ConnectionTable::WatchProgram() {
    std::vector<std::pair<uintptr_t, bool>> over;  // tag, time up
    for (const RunningProgram& p : programs_.running) {
        if (NowMs() - p.startedMs >= programTimeLimitMs_) {
            over.emplace_back(p.tag, true);
        } else if (platform::FileSize(p.run.fromProgram) > kProgramOutputCap) {
            over.emplace_back(p.tag, false);
        }
    }
    for (const auto& [tag, timeUp] : over) FinishProgram(tag, timeUp);
}

void ConnectionTable::OnProgramEnd(uintptr_t tag) { FinishProgram(tag, false); }

}  // namespace qv::server
