// Taking connections: accepting them into slots, making room for them when
// the slots or the descriptors run out, and refusing them when every slot is
// being answered.
#include <mutex>

#include "content/busy_page.h"
#include "server/connection_table.h"
#include "server/listeners.h"
#include "server/responses.h"

namespace qv::server {
namespace {

// Accepts per notification: a flood of connections cannot hold the loop, and
// the listener reports again while more are pending.
constexpr int kAcceptsPerEvent = 64;
// Refused connections: how many are held open at most, and for how long.
constexpr size_t kRefusedHeld = 64;
constexpr uint64_t kRefusedLingerMs = 500;
constexpr int kReceivesBeforeClose = 4;
// Out of descriptors: accepting pauses this long, and this many of the
// idlest connections waiting for their header are closed to make room.
constexpr uint32_t kAcceptPauseMs = 20;
constexpr size_t kRoomMadeAtShortage = 16;

// Takes what the client sent, so that the close does not reset the connection under the page.
void DrainAndClose(int channel) {
    char scratch[4096];
    for (int round = 0; round < kReceivesBeforeClose; ++round) {
        if (net::ReceiveChannelNow(channel, scratch, sizeof scratch) <= 0) break;
    }
    net::CloseChannel(channel, net::ChannelKind::Tcp);
}

}  // namespace

// Accepts from the listener that reported, exactly as from the listening
// channel: a further listener's connections become channels the same way.
void ConnectionTable::AcceptPending() {
    int32_t listening;
    platform::Socket from = platform::kNoSocket;  // the listening channel's own
    {
        ServerState& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        if (!s.listeningOpen) return;
        listening = s.listeningChannel;
        const platform::Socket reporting = ReportingListener();
        for (platform::Socket listener : s.furtherListeners) {
            if (listener == reporting) from = listener;
        }
    }
    if (acceptPaused_) return;
    for (int round = 0; round < kAcceptsPerEvent; ++round) {
        int16_t number = net::NextChannelNumber();
        if (number == 0) return;
        if (net::AcceptChannelFrom(listening, from, number) != net::kOk) {
            // Out of descriptors the pending connection stays pending, and the
            // listener would report it again at once: it rests instead.
            if (platform::IsResourceShortage(platform::LastSocketError())) PauseAccepting(listening);
            return;
        }
        OpenConnection(number);
    }
}

void ConnectionTable::OpenConnection(int channel) {
    // Past the ceiling the idlest waiting connection makes room, as when every slot is taken.
    if (live_ >= ceiling_) {
        if (LiveConnection* idlest = IdlestAfterReading(true)) Close(*idlest);
    }
    int32_t slot = live_ < ceiling_ ? ClaimSlot(channel) : -1;
    if (slot < 0) {
        if (LiveConnection* idlest = IdlestAfterReading(false)) {
            Close(*idlest);
        }
        slot = ClaimSlot(channel);
    }
    if (slot < 0) {
        RefuseBusy(channel);
        return;
    }
    int error = net::kOk;
    const platform::Socket socket = net::ChannelSocket(channel, error);
    if (error != net::kOk || net::NotifyChannel(channel, window_, kConnectionMessage, kReadAndClose) != net::kOk) {
        net::CloseChannel(channel, net::ChannelKind::Tcp);
        ReleaseSlot(slot);
        return;
    }
    records_[slot] = std::make_unique<LiveConnection>(nextId_++, slot, channel, socket, window_, NowMs(),
                                                      connectionTimeoutMs_, uploadLimit_, keepAliveMs_);
    LiveConnection& c = *records_[slot];
    bySlot_[slot] = &c;
    live_ += 1;
    // The request has usually arrived with the connection: read it at once.
    FollowRead(c, c.machine.OnReadable(NowMs()));
}

// A connection lingering after a refusal, else the one kept open the longest
// without a next request, else the connection whose client
// has made no progress for the longest (sent nothing of its request, or taken
// nothing of its answer), or null when none may be closed: a request being
// answered by a program or the host is never taken, and with `readingOnly`
// neither is an answer going out.
LiveConnection* ConnectionTable::Idlest(bool readingOnly) {
    LiveConnection* idlest = nullptr;
    LiveConnection* kept = nullptr;
    for (LiveConnection* c : bySlot_) {
        if (c == nullptr) continue;
        const ConnectionMachine::Phase phase = c->machine.phase();
        // Answered already, and only waiting out a refused client's last bytes: its room goes first.
        if (phase == ConnectionMachine::Phase::Linger) return c;
        // Answered, and kept only in case its client has more to ask: next.
        if (c->machine.idleBetweenRequests()) {
            if (kept == nullptr || c->machine.lastProgressMs() < kept->machine.lastProgressMs()) kept = c;
            continue;
        }
        const bool reading = phase == ConnectionMachine::Phase::ReadHeader;
        if (!reading && (readingOnly || phase != ConnectionMachine::Phase::Write)) continue;
        if (idlest == nullptr || c->machine.lastProgressMs() < idlest->machine.lastProgressMs() ||
            (c->machine.lastProgressMs() == idlest->machine.lastProgressMs() && c->id < idlest->id)) {
            idlest = c;
        }
    }
    return kept != nullptr ? kept : idlest;
}

// The idlest as its client really stands: a connection whose bytes have
// arrived but wait in the queue behind the accepts (a loaded loop) reads them
// first, and so is no longer the idlest; another is looked for.
LiveConnection* ConnectionTable::IdlestAfterReading(bool readingOnly) {
    constexpr int kLooks = 8;
    for (int look = 0; look < kLooks; ++look) {
        LiveConnection* idlest = Idlest(readingOnly);
        if (idlest == nullptr || idlest->machine.phase() != ConnectionMachine::Phase::ReadHeader) return idlest;
        const ConnectionRef ref = RefOf(*idlest);
        const uint64_t before = idlest->machine.lastProgressMs();
        FollowRead(*idlest, idlest->machine.OnReadable(NowMs()));
        // Closed meanwhile (its client left): that made the room.
        idlest = Find(ref);
        if (idlest == nullptr) return nullptr;
        if (idlest->machine.phase() == ConnectionMachine::Phase::ReadHeader &&
            idlest->machine.lastProgressMs() == before) {
            return idlest;
        }
    }
    return Idlest(readingOnly);
}

const std::string& ConnectionTable::BusyResponse() {
    static const std::string& busy = *new std::string(
        ResponseBlock("HTTP/1.0 503 Service Unavailable", "text/html", content::BuildBusyPage()) + kCrLf);
    return busy;
}

// Every slot holds a connection that is being answered: this one is told so and closed soon after.
void ConnectionTable::RefuseBusy(int channel) {
    const std::string& busy = BusyResponse();
    net::SendChannelNow(channel, busy.data(), busy.size());
    if (refused_.size() >= kRefusedHeld) {
        DrainAndClose(refused_.front().first);
        refused_.pop_front();
    }
    refused_.emplace_back(channel, NowMs());
}

void ConnectionTable::CloseRefused(bool all) {
    const uint64_t now = NowMs();
    while (!refused_.empty() && (all || now - refused_.front().second >= kRefusedLingerMs)) {
        DrainAndClose(refused_.front().first);
        refused_.pop_front();
    }
}

void ConnectionTable::PauseAccepting(int32_t /*listening*/) {
    acceptPaused_ = true;
    ceiling_ = live_ > kRoomMadeAtShortage ? live_ - kRoomMadeAtShortage : 1;
    // Every listener rests, the further ones too.
    NotifyListeners(window_, 0);
    platform::SetWindowTimer(window_, kAcceptResumeTimer, kAcceptPauseMs);
    for (size_t made = 0; made < kRoomMadeAtShortage; ++made) {
        LiveConnection* idlest = Idlest(true);
        if (idlest == nullptr) break;
        Close(*idlest);
    }
    // The refused are closed too: each holds a descriptor.
    CloseRefused(true);
}

void ConnectionTable::ResumeAccepting() {
    platform::KillWindowTimer(window_, kAcceptResumeTimer);
    if (!acceptPaused_) return;
    acceptPaused_ = false;
    // Registering again reports the connections that waited meanwhile.
    NotifyListeners(window_, net::kEventAccept | net::kEventConnect);
}

}  // namespace qv::server
