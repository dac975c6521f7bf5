// Window timers of the native message loop: each falls due on its own
// schedule and is delivered by the loop of the window's owner thread, which
// waits no longer than until the next one. As on Windows, a timer that fell
// due several times while the loop was busy is delivered once.
#include <chrono>
#include <iterator>

#include "platform/posix/message_queue.h"

namespace qv::platform::loop {
namespace {

// Windows raises shorter intervals to this, so that a timer cannot keep a loop spinning.
constexpr uint32_t kShortestIntervalMs = 10;
constexpr uint32_t kLongestIntervalMs = 0x7fffffff;

uint64_t NowMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void UnscheduleLocked(uint32_t window, uintptr_t id, const WindowTimer& timer) {
    timer.owner->timersDue.erase(TimerDue{timer.dueMs, window, id});
}

void ScheduleLocked(uint32_t window, uintptr_t id, WindowTimer& timer, uint64_t now) {
    timer.dueMs = now + timer.intervalMs;
    timer.owner->timersDue.insert(TimerDue{timer.dueMs, window, id});
}

}  // namespace

void ForgetTimersOfWindowLocked(uint32_t window) {
    LoopState& s = Loop();
    auto it = s.timers.lower_bound({window, 0});
    while (it != s.timers.end() && it->first.first == window) {
        UnscheduleLocked(window, it->first.second, it->second);
        it = s.timers.erase(it);
    }
}

int64_t MillisecondsToNextTimerLocked(const ThreadQueue& queue) {
    if (queue.timersDue.empty()) return -1;
    const uint64_t due = std::get<0>(*queue.timersDue.begin());
    const uint64_t now = NowMs();
    return due <= now ? 0 : static_cast<int64_t>(due - now);
}

uint64_t LoopMilliseconds() { return NowMs(); }

void DeliverDueTimers(const std::shared_ptr<ThreadQueue>& queue, uint64_t dueBy) {
    LoopState& s = Loop();
    std::vector<std::pair<uint32_t, uintptr_t>> due;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        const uint64_t now = NowMs();
        while (!queue->timersDue.empty() && std::get<0>(*queue->timersDue.begin()) <= dueBy) {
            auto [dueMs, window, id] = *queue->timersDue.begin();
            (void)dueMs;
            WindowTimer& timer = s.timers.at({window, id});
            UnscheduleLocked(window, id, timer);
            ScheduleLocked(window, id, timer, now);
            due.emplace_back(window, id);
        }
    }
    for (const auto& [window, id] : due) {
        {
            // A timer killed by an earlier message of this pass is not delivered.
            std::lock_guard<std::mutex> guard(s.lock);
            if (s.timers.count({window, id}) == 0) continue;
        }
        CallWindow(window, kTimerMessage, id, 0);
    }
}

}  // namespace qv::platform::loop

namespace qv::platform {

bool SetWindowTimer(Window window, uintptr_t id, uint32_t intervalMs) {
    if (window == 0 || window > UINT32_MAX) return false;
    const auto handle = static_cast<uint32_t>(window);
    if (intervalMs < loop::kShortestIntervalMs) intervalMs = loop::kShortestIntervalMs;
    if (intervalMs > loop::kLongestIntervalMs) intervalMs = loop::kLongestIntervalMs;
    loop::LoopState& s = loop::Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    auto owner = s.windows.find(handle);
    if (owner == s.windows.end()) return false;
    auto existing = s.timers.find({handle, id});
    if (existing != s.timers.end()) {
        loop::UnscheduleLocked(handle, id, existing->second);
        s.timers.erase(existing);
    }
    loop::WindowTimer& timer = s.timers[{handle, id}];
    timer = loop::WindowTimer{intervalMs, 0, owner->second.owner};
    loop::ScheduleLocked(handle, id, timer, loop::NowMs());
    loop::WakeOtherLocked(*timer.owner);
    return true;
}

void KillWindowTimer(Window window, uintptr_t id) {
    if (window == 0 || window > UINT32_MAX) return;
    const auto handle = static_cast<uint32_t>(window);
    loop::LoopState& s = loop::Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.timers.find({handle, id});
    if (it == s.timers.end()) return;
    loop::UnscheduleLocked(handle, id, it->second);
    s.timers.erase(it);
}

}  // namespace qv::platform
