// The process-wide server state: settings, the connection slot table and the answer store.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qv::server {

constexpr int kSlotCount = 501;  // slot indices 0 to 500
constexpr size_t kRequestFieldSize = 1024;

struct ConnectionSlot {
    int32_t channel = 0;  // 0 when the slot is free
    // The request text as the host sees it: made when the slot is claimed
    // and dropped when it is freed, so a free slot holds no buffer.
    std::unique_ptr<char[]> request;
};

using RequestCallback = QvRequestCallback;

// What the host may set by name (the settings export), with their bounds.
constexpr int64_t kDefaultUploadLimit = int64_t{1} << 20;
constexpr int64_t kLargestUploadLimit = (int64_t{1} << 31) - 1;
constexpr int kMostProgramsAtOnce = 64;
constexpr uint32_t kDefaultProgramSeconds = 10;
constexpr uint32_t kMostProgramSeconds = 3600;

struct Settings {
    std::string documentDirectory;
    std::string cgiDirectory;
    platform::Window hostWindow = 0;
    platform::Mutex hostMutex = 0;
    RequestCallback callback = nullptr;
    // Taken by each start: a running server keeps those it started with.
    int programsAtOnce = 1;
    int64_t uploadLimit = kDefaultUploadLimit;  // the largest POST body a program is given
    uint32_t programSeconds = kDefaultProgramSeconds;  // a program's time limit
    // Where to listen; empty: this computer's address, 127.0.0.1 and ::1.
    std::vector<platform::IpAddress> listenAddresses;
};

struct ServerState {
    // Guards everything below; never held while a request waits on the host or a program.
    std::mutex lock;
    Settings settings;
    platform::Window notifyWindow = 0;
    int32_t listeningChannel = 0;  // kept after a stop, as ServerRunning reads it
    bool listeningOpen = false;     // so a stop closes the number only once
    int32_t listeningPort = 0;
    // The sockets listening on the further addresses, beside the listening
    // channel: no channel numbers of their own, closed with it.
    std::vector<platform::Socket> furtherListeners;
    // Absent until the first start; replaced by each start.
    std::unique_ptr<std::array<ConnectionSlot, kSlotCount>> slots;
    std::unique_ptr<std::array<std::string, kSlotCount>> answers;
    // Slots whose request is with the host right now: only they take posted
    // answers, and they are not freed (nor claimed anew) until the host returns.
    // Kept across starts, as a host may stop and start the server during its call.
    std::array<bool, kSlotCount> withHost{};
    std::array<bool, kSlotCount> freeWhenHostReturns{};
};

ServerState& State();

bool ValidSlot(int32_t slot);

// The slot table and answer store as the host sees them; an index outside
// 0..500, or any call before the first start, reads and writes nothing.
// True when the tables exist and hold the index.
bool SlotExists(int32_t slot);
std::string SlotRequestField(int32_t slot);  // all 1024 bytes, or empty (also for a free slot)
void SetSlotRequestField(int32_t slot, const std::string& text);  // cut or space-padded
// True when the tables hold the slot; the answer is kept only while the
// slot's request is with the host, and otherwise dropped (so a late post can
// never reach the next client of the slot).
bool StoreSlotAnswer(int32_t slot, std::string answer);

// The host has the slot's request from Begin to End: its answer is emptied at
// the start, and a close meanwhile frees the slot only when the host returns.
// End gives the answer the host posted meanwhile.
void BeginHostTurn(int32_t slot);
std::string EndHostTurn(int32_t slot);

// Claims a free slot for channel `channel` (trying channel % 501 first); -1 when all are busy.
int32_t ClaimSlot(int32_t channel);
// The close step's part of the tables: free the slot, blank its request text,
// empty its answer (once the host returns, when the request is with it).
void ReleaseSlot(int32_t slot);

Settings CurrentSettings();

}  // namespace qv::server
