// The deadline check: connections past their time-out closed, waits for a
// program's turn past their bound answered busy, and a held loop forgiven.
#include <vector>

#include "server/connection_table.h"

namespace qv::server {
namespace {

// A deadline check this much later than due means the loop was held (a long
// host call, a host that did not pump): that time is nobody's client's.
constexpr uint64_t kLoopHeldMs = 3 * uint64_t{kDeadlineCheckMs};

}  // namespace

void ConnectionTable::CloseExpired() {
    const uint64_t now = NowMs();
    if (lastDeadlineCheckMs_ != 0 && now - lastDeadlineCheckMs_ >= kLoopHeldMs) {
        RestartDeadlines(now);
        return;
    }
    lastDeadlineCheckMs_ = now;
    if (ceiling_ < kSlotCount) ceiling_ += 1;
    std::vector<ConnectionRef> expired, waitedOut;
    for (LiveConnection* c : bySlot_) {
        if (c == nullptr) continue;
        if (c->waitingForProgram) {
            if (now - c->queuedAtMs >= programQueueWaitMs_) waitedOut.push_back(RefOf(*c));
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

// Every deadline counts afresh: the loop was held, and no client is to blame.
void ConnectionTable::RestartDeadlines(uint64_t now) {
    for (LiveConnection* c : bySlot_) {
        if (c == nullptr) continue;
        c->machine.RestartDeadlines(now);
        if (c->waitingForProgram && c->queuedAtMs < now) c->queuedAtMs = now;
    }
    lastDeadlineCheckMs_ = now;
}

}  // namespace qv::server
