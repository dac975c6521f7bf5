// The native message loop: sending, posting, pumping and the quit.
#include <poll.h>
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

int Pump(int32_t timeoutMs) {
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    if (!queue) return 0;
    LoopState& s = Loop();
    const bool forever = timeoutMs < 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    std::vector<pollfd> fds;
    for (;;) {
        bool loading;
        fds.clear();
        fds.push_back(pollfd{queue->wakeFd, POLLIN, 0});
        {
            std::lock_guard<std::mutex> guard(s.lock);
            loading = s.loadingThread == queue;
        }
        if (TakeQuit(loading)) return -1;
        fds.push_back(pollfd{loading ? s.quitFd : -1, POLLIN, 0});  // a negative fd is ignored by poll
        {
            std::lock_guard<std::mutex> guard(s.lock);
            CollectSocketsLocked(*queue, fds);
        }
        int waitMs = forever ? -1 : RemainingMs(deadline);
        int ready = poll(fds.data(), fds.size(), waitMs);
        if (ready < 0) {
            if (errno != EINTR) return 0;
            for (auto& fd : fds) fd.revents = 0;
        }
        if (fds[0].revents != 0) DrainWakeFd(queue->wakeFd);
        if (fds[1].revents != 0) DrainWakeFd(s.quitFd);
        DeliverAllSent(*queue);
        DeliverPosted(*queue);
        DeliverSocketEvents(queue, fds, 2);
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
