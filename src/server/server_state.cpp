#include "server/server_state.h"

#include <cstring>

namespace qv::server {

ServerState& State() {
    static ServerState state;
    return state;
}

bool ValidSlot(int32_t slot) { return slot >= 0 && slot < kSlotCount; }

bool SlotExists(int32_t slot) {
    ServerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return ValidSlot(slot) && s.slots && s.answers;
}

std::string SlotRequestField(int32_t slot) {
    ServerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    // A free slot carries no request, whether it was never claimed or its request was closed.
    if (!ValidSlot(slot) || !s.slots || (*s.slots)[slot].channel == 0) return std::string();
    return std::string((*s.slots)[slot].request.get(), kRequestFieldSize);
}

void SetSlotRequestField(int32_t slot, const std::string& text) {
    ServerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    // A free slot's text is never read: it is blanked when the slot is claimed.
    if (!ValidSlot(slot) || !s.slots || !(*s.slots)[slot].request) return;
    char* field = (*s.slots)[slot].request.get();
    size_t length = text.size() < kRequestFieldSize ? text.size() : kRequestFieldSize;
    std::memset(field, ' ', kRequestFieldSize);
    std::memcpy(field, text.data(), length);
}

bool StoreSlotAnswer(int32_t slot, std::string answer) {
    ServerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!ValidSlot(slot) || !s.answers) return false;
    if (s.withHost[slot]) (*s.answers)[slot] = std::move(answer);
    return true;
}

namespace {

void FreeSlotLocked(ServerState& s, int32_t slot) {
    if (s.slots) {
        (*s.slots)[slot].channel = 0;
        (*s.slots)[slot].request.reset();
    }
    if (s.answers) (*s.answers)[slot].clear();
}

}  // namespace

void BeginHostTurn(int32_t slot) {
    ServerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!ValidSlot(slot)) return;
    s.withHost[slot] = true;
    s.freeWhenHostReturns[slot] = false;
    if (s.answers) (*s.answers)[slot].clear();
}

std::string EndHostTurn(int32_t slot) {
    ServerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!ValidSlot(slot)) return std::string();
    std::string posted = s.answers ? (*s.answers)[slot] : std::string();
    s.withHost[slot] = false;
    if (s.freeWhenHostReturns[slot]) FreeSlotLocked(s, slot);
    s.freeWhenHostReturns[slot] = false;
    return posted;
}

int32_t ClaimSlot(int32_t channel) {
    ServerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.slots || channel <= 0) return -1;
    for (int step = 0; step < kSlotCount; ++step) {
        int32_t slot = (channel + step) % kSlotCount;
        ConnectionSlot& record = (*s.slots)[slot];
        if (record.channel == 0 && !s.withHost[slot]) {
            record.channel = channel;
            // Neither a request text nor an answer posted while the slot was
            // free belongs to this connection's request.
            if (!record.request) record.request.reset(new char[kRequestFieldSize]);
            std::memset(record.request.get(), ' ', kRequestFieldSize);
            if (s.answers) (*s.answers)[slot].clear();
            return slot;
        }
    }
    return -1;
}

void ReleaseSlot(int32_t slot) {
    ServerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!ValidSlot(slot)) return;
    if (s.withHost[slot]) {
        s.freeWhenHostReturns[slot] = true;
        return;
    }
    FreeSlotLocked(s, slot);
}

Settings CurrentSettings() {
    ServerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.settings;
}

}  // namespace qv::server
