// The native message loop: sending, posting, pumping and the quit.
#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <climits>

#include "platform/posix/message_queue.h"

namespace qv::platform::loop {
namespace {

using Clock = std::chrono::steady_clock;

// Runs one message sent to this thread's windows; false when none waits.
bool DeliverOneSent(ThreadQueue& queue) {
    std::shared_ptr<SentMessage> sent;
    {
        LoopState& s = Loop();
        std::lock_guard<std::mutex> guard(s.lock);
        if (queue.sent.empty()) return false;
        sent = queue.sent.front();
        queue.sent.pop_front();
    }
    intptr_t result = CallWindow(sent->window, sent->message, sent->wParam, sent->lParam);
    LoopState& s = Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    AnswerLocked(*sent, result);
    return true;
}

void DeliverAllSent(ThreadQueue& queue) {
    while (DeliverOneSent(queue)) {
    }
}

// Delivers the messages posted before this pass; later ones wait for the next pass.
void DeliverPosted(ThreadQueue& queue) {
    size_t count;
    {
        LoopState& s = Loop();
        std::lock_guard<std::mutex> guard(s.lock);
        count = queue.posted.size();
    }
    for (; count > 0; --count) {
        PostedMessage posted;
        {
            LoopState& s = Loop();
            std::lock_guard<std::mutex> guard(s.lock);
            if (queue.posted.empty()) return;
            posted = queue.posted.front();
            queue.posted.pop_front();
        }
        CallWindow(posted.window, posted.message, posted.wParam, posted.lParam);
        // Messages sent meanwhile go before the next posted one, as on Windows.
        DeliverAllSent(queue);
    }
}

bool TakeQuit(bool loading) { return loading && Loop().quitPosted.exchange(false); }

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left) + 1;  // round up: never wake a little early
}

// The quit posted to the process wakes the loading thread's loop only.
void WatchQuitLocked(ThreadQueue& queue) {
    LoopState& s = Loop();
    if (queue.quitWatched || s.quitFd < 0) return;
    epoll_event entry{};
    entry.events = EPOLLIN;
    entry.data.u64 = PollTag(PollKind::Quit, 0, 0);
    queue.quitWatched = epoll_ctl(queue.pollFd, EPOLL_CTL_ADD, s.quitFd, &entry) == 0;
}

// The shorter of two waits in milliseconds, where -1 is "for ever".
int ShorterWait(int a, int64_t b) {
    if (b < 0) return a;
    if (b > INT_MAX) b = INT_MAX;
    return a < 0 || b < a ? static_cast<int>(b) : a;
}

constexpr int kEventsPerWait = 256;  // more ready ones are found again by the next wait
constexpr int kProcessAskingMs = 20;  // how soon the end of a program without a descriptor is seen

int Pump(int32_t timeoutMs) {
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    if (!queue) return 0;
    LoopState& s = Loop();
    const bool forever = timeoutMs < 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    epoll_event ready[kEventsPerWait];
    for (;;) {
        bool loading;
        int waitMs = forever ? -1 : RemainingMs(deadline);
        {
            std::lock_guard<std::mutex> guard(s.lock);
            loading = s.loadingThread == queue;
            if (loading) WatchQuitLocked(*queue);
            UpdateSocketInterestLocked(*queue);
            waitMs = ShorterWait(waitMs, MillisecondsToNextTimerLocked(*queue));
            if (!queue->processesAsked.empty()) waitMs = ShorterWait(waitMs, kProcessAskingMs);
        }
        if (TakeQuit(loading)) return -1;
        int count = epoll_wait(queue->pollFd, ready, kEventsPerWait, waitMs);
        if (count < 0) {
            if (errno != EINTR) return 0;
            count = 0;
        }
        const uint64_t passStart = LoopMilliseconds();
        for (int i = 0; i < count; ++i) {
            switch (KindOfTag(ready[i].data.u64)) {
                case PollKind::Wake: DrainWakeFd(queue->wakeFd); break;
                case PollKind::Quit: DrainWakeFd(s.quitFd); break;
                case PollKind::Process: NoteProcessEnded(ready[i].data.u64); break;
                case PollKind::Socket: break;
            }
        }
        AskProcessesWithoutDescriptor(queue);
        DeliverAllSent(*queue);
        DeliverPosted(*queue);
        for (int i = 0; i < count; ++i) {
            if (KindOfTag(ready[i].data.u64) == PollKind::Socket) {
                DeliverSocketEvent(queue, ready[i].data.u64, ready[i].events);
            }
        }
        DeliverDueTimers(queue, passStart);
        if (TakeQuit(loading)) return -1;
        if (!forever && Clock::now() >= deadline) return 0;
    }
}

}  // namespace
}  // namespace qv::platform::loop

using namespace qv::platform::loop;

extern "C" QV_API intptr_t QvSendMessage(uint32_t hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    std::shared_ptr<ThreadQueue> self = CurrentQueue();
    if (!self) return 0;
    LoopState& s = Loop();
    auto sent = std::make_shared<SentMessage>(SentMessage{hwnd, msg, wParam, lParam, 0, false, self});
    bool ownWindow;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        auto it = s.windows.find(hwnd);
        if (it == s.windows.end()) return 0;
        std::shared_ptr<ThreadQueue> owner = it->second.owner;
        ownWindow = owner == self;
        if (!ownWindow) {
            if (!owner->alive) return 0;
            owner->sent.push_back(sent);
            WakeLocked(*owner);
        }
    }
    // The owner thread itself: the procedure is called directly.
    if (ownWindow) return CallWindow(hwnd, msg, wParam, lParam);
    // Wait for the answer, running what other threads send to this one meanwhile,
    // so two threads that send to each other do not wait for ever.
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(s.lock);
            if (sent->done) return sent->result;
        }
        DeliverAllSent(*self);
        {
            std::lock_guard<std::mutex> guard(s.lock);
            if (sent->done) return sent->result;
        }
        pollfd fd{self->wakeFd, POLLIN, 0};
        if (poll(&fd, 1, -1) > 0) DrainWakeFd(self->wakeFd);
    }
}

extern "C" QV_API int32_t QvPostMessage(uint32_t hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    LoopState& s = Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.windows.find(hwnd);
    if (it == s.windows.end() || !it->second.owner->alive) return 0;
    it->second.owner->posted.push_back(PostedMessage{hwnd, msg, wParam, lParam});
    WakeLocked(*it->second.owner);
    return 1;
}

extern "C" QV_API int32_t QvPumpMessages(int32_t timeoutMs) { return Pump(timeoutMs); }

extern "C" QV_API void QvPostQuitMessage(void) {
    // Only async-signal-safe steps: an atomic store and one write().
    LoopState& s = Loop();
    s.quitPosted.store(true);
    if (s.quitFd >= 0) {
        uint64_t one = 1;
        ssize_t written = write(s.quitFd, &one, sizeof one);
        (void)written;
    }
}

namespace qv::platform {

int PumpMessages(int32_t timeoutMs) { return QvPumpMessages(timeoutMs); }

}  // namespace qv::platform
