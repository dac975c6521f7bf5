// The table of open channels and the rolling channel-number counter.
#include <array>
#include <mutex>

#include "net/channel_record.h"

namespace qv::net {
namespace {

constexpr int kHighestNumber = 32767;

SpinLock& TableLock() {
    static SpinLock lock;
    return lock;
}

std::array<Channel*, kHighestNumber + 1>& Table() {
    static std::array<Channel*, kHighestNumber + 1> table{};
    return table;
}

int16_t& Counter() {
    static int16_t counter = 0;
    return counter;
}

bool InRange(int number) { return number >= 0 && number <= kHighestNumber; }

}  // namespace

void SpinLock::lock() {
    while (flag_.test_and_set(std::memory_order_acquire)) {
    }
}

void SpinLock::unlock() { flag_.clear(std::memory_order_release); }

SpinLock& OpenLock() {
    static SpinLock lock;
    return lock;
}

Channel* FindChannel(int number) {
    if (!InRange(number)) return nullptr;
    std::lock_guard<SpinLock> guard(TableLock());
    return Table()[number];
}

bool ChannelNumberOpen(int number) { return FindChannel(number) != nullptr; }

bool InsertChannel(Channel* channel) {
    if (!InRange(channel->number)) return false;
    std::lock_guard<SpinLock> guard(TableLock());
    if (Table()[channel->number] != nullptr) return false;
    Table()[channel->number] = channel;
    return true;
}

Channel* RemoveChannel(int number) {
    if (!InRange(number)) return nullptr;
    std::lock_guard<SpinLock> guard(TableLock());
    Channel* channel = Table()[number];
    Table()[number] = nullptr;
    return channel;
}

int16_t NextChannelNumber() {
    std::lock_guard<SpinLock> guard(OpenLock());
    int16_t& counter = Counter();
    for (int tries = 0; tries < kHighestNumber; ++tries) {
        counter = counter >= kHighestNumber ? 1 : static_cast<int16_t>(counter + 1);
        if (!ChannelNumberOpen(counter)) return counter;
    }
    return 0;
}

void SeedChannelCounter(int16_t last) {
    std::lock_guard<SpinLock> guard(OpenLock());
    Counter() = last >= 1 && last <= kHighestNumber ? last : 0;
}

int SocketFailure() {
    return platform::LastSocketError() == platform::kErrorInProgress ? kErrNetworkBusy : kErrNetwork;
}

uint64_t TimeoutMicroseconds(uint32_t timeoutMs) {
    return static_cast<uint64_t>(timeoutMs >> 10) * 1000000u + static_cast<uint64_t>(timeoutMs % 1024u) * 1024u;
}

}  // namespace qv::net
