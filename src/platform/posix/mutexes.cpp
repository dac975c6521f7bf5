// Mutexes of the native message loop, as Windows mutexes behave: owned by a
// thread, recursive, waited for with a time-out, and given to the next waiter
// when the owning thread ends without releasing them.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr int32_t kWaitObject0 = 0;
constexpr int32_t kWaitAbandoned = 0x80;
constexpr int32_t kWaitTimeout = 258;
constexpr int32_t kWaitFailed = -1;

struct HostMutex {
    std::thread::id owner;
    uint32_t depth = 0;
    bool closed = false;
    bool abandoned = false;
    std::condition_variable changed;
};

struct MutexTable {
    std::mutex lock;
    std::unordered_map<uint32_t, std::shared_ptr<HostMutex>> mutexes;
    uint32_t last = 0;  // rolling counter
};

MutexTable& Table() {
    static MutexTable* table = new MutexTable;  // outlives the threads that still hold mutexes
    return *table;
}

std::shared_ptr<HostMutex> Find(uint32_t handle) {
    auto it = Table().mutexes.find(handle);
    return it == Table().mutexes.end() ? nullptr : it->second;
}

// Frees what a thread still owns when it ends.
struct OwnedByThread {
    std::vector<std::weak_ptr<HostMutex>> owned;
    ~OwnedByThread() {
        std::lock_guard<std::mutex> guard(Table().lock);
        std::thread::id self = std::this_thread::get_id();
        for (auto& weak : owned) {
            std::shared_ptr<HostMutex> mutex = weak.lock();
            if (!mutex || mutex->depth == 0 || mutex->owner != self) continue;
            mutex->depth = 0;
            mutex->owner = std::thread::id();
            mutex->abandoned = true;
            mutex->changed.notify_all();
        }
    }
};

thread_local OwnedByThread tOwned;

}  // namespace

extern "C" QV_API uint32_t QvCreateMutex(void) {
    MutexTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    do {
        ++t.last;
    } while (t.last == 0 || t.mutexes.count(t.last) != 0);
    t.mutexes[t.last] = std::make_shared<HostMutex>();
    return t.last;
}

extern "C" QV_API int32_t QvWaitMutex(uint32_t handle, int32_t timeoutMs) {
    MutexTable& t = Table();
    std::unique_lock<std::mutex> guard(t.lock);
    std::shared_ptr<HostMutex> mutex = Find(handle);
    if (!mutex) return kWaitFailed;
    std::thread::id self = std::this_thread::get_id();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        if (mutex->closed) return kWaitFailed;
        if (mutex->depth > 0 && mutex->owner == self) {
            if (mutex->depth == UINT32_MAX) return kWaitFailed;
            ++mutex->depth;
            return kWaitObject0;
        }
        if (mutex->depth == 0) {
            mutex->owner = self;
            mutex->depth = 1;
            tOwned.owned.push_back(mutex);
            bool abandoned = mutex->abandoned;
            mutex->abandoned = false;
            return abandoned ? kWaitAbandoned : kWaitObject0;
        }
        if (timeoutMs < 0) {
            mutex->changed.wait(guard);
        } else if (mutex->changed.wait_until(guard, deadline) == std::cv_status::timeout &&
                   !(mutex->depth == 0 || mutex->closed)) {
            return kWaitTimeout;
        }
    }
}

extern "C" QV_API int32_t QvReleaseMutex(uint32_t handle) {
    MutexTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    std::shared_ptr<HostMutex> mutex = Find(handle);
    if (!mutex || mutex->depth == 0 || mutex->owner != std::this_thread::get_id()) return 0;
    if (--mutex->depth == 0) {
        mutex->owner = std::thread::id();
        mutex->changed.notify_all();
        auto& owned = tOwned.owned;
        for (auto it = owned.begin(); it != owned.end();) {
            auto held = it->lock();
            it = (!held || held == mutex) ? owned.erase(it) : it + 1;
        }
    }
    return 1;
}

extern "C" QV_API int32_t QvCloseMutex(uint32_t handle) {
    MutexTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.mutexes.find(handle);
    if (it == t.mutexes.end()) return 0;
    it->second->closed = true;
    it->second->changed.notify_all();  // waiters give up with a failure
    t.mutexes.erase(it);
    return 1;
}

namespace qv::platform {

void WaitMutexForever(Mutex mutex) {
    if (mutex != 0 && mutex <= UINT32_MAX) QvWaitMutex(static_cast<uint32_t>(mutex), -1);
}

void ReleaseHostMutex(Mutex mutex) {
    if (mutex != 0 && mutex <= UINT32_MAX) QvReleaseMutex(static_cast<uint32_t>(mutex));
}

}  // namespace qv::platform
