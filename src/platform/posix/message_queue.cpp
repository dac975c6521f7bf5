// Per-thread message queues of the native message loop, and what happens to
// a thread's windows and waiting senders when the thread ends.
#include "platform/posix/message_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

namespace qv::platform::loop {

ThreadQueue::~ThreadQueue() {
    if (pollFd >= 0) close(pollFd);
    if (wakeFd >= 0) close(wakeFd);
}

uint64_t PollTag(PollKind kind, uint32_t serial, uint32_t number) {
    return (static_cast<uint64_t>(kind) << 62) | (static_cast<uint64_t>(serial & 0x3fffffffu) << 32) | number;
}

PollKind KindOfTag(uint64_t tag) { return static_cast<PollKind>(tag >> 62); }

LoopState& Loop() {
    // Never destroyed: thread-exit clean-up and a late signal handler may still use it.
    static LoopState* state = [] {
        auto* s = new LoopState;
        s->quitFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        return s;
    }();
    return *state;
}

namespace {

// Made when the library loads, so that a quit posted from a signal handler
// never has to allocate.
[[maybe_unused]] const bool kLoopReady = (Loop(), true);

// Ends a thread's part in the loop: its windows go, as they do when a
// Windows thread ends, and every message still waiting for it gets 0.
struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder() {
        if (!queue) return;
        LoopState& s = Loop();
        std::lock_guard<std::mutex> guard(s.lock);
        queue->alive = false;
        for (auto it = s.windows.begin(); it != s.windows.end();) {
            if (it->second.owner == queue) {
                uint32_t window = it->first;
                it = s.windows.erase(it);
                ForgetSocketsOfWindowLocked(window);
                ForgetTimersOfWindowLocked(window);
            } else {
                ++it;
            }
        }
        for (auto& sent : queue->sent) AnswerLocked(*sent, 0);
        queue->sent.clear();
        queue->posted.clear();
    }
};

thread_local QueueHolder tQueue;

}  // namespace

std::shared_ptr<ThreadQueue> CurrentQueue() {
    if (!tQueue.queue) {
        auto queue = std::make_shared<ThreadQueue>();
        queue->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        queue->pollFd = epoll_create1(EPOLL_CLOEXEC);
        if (queue->wakeFd < 0 || queue->pollFd < 0) return nullptr;
        epoll_event wake{};
        wake.events = EPOLLIN;
        wake.data.u64 = PollTag(PollKind::Wake, 0, 0);
        if (epoll_ctl(queue->pollFd, EPOLL_CTL_ADD, queue->wakeFd, &wake) != 0) return nullptr;
        tQueue.queue = queue;
    }
    return tQueue.queue;
}

std::shared_ptr<ThreadQueue> ExistingQueue() { return tQueue.queue; }

bool IsCurrentQueue(const ThreadQueue& queue) { return tQueue.queue.get() == &queue; }

void WakeOtherLocked(ThreadQueue& queue) {
    if (!IsCurrentQueue(queue)) WakeLocked(queue);
}

void WakeLocked(ThreadQueue& queue) {
    if (!queue.alive || queue.wakeFd < 0) return;
    uint64_t one = 1;
    ssize_t written;
    do {
        written = write(queue.wakeFd, &one, sizeof one);
    } while (written < 0 && errno == EINTR);
}

void AnswerLocked(SentMessage& sent, intptr_t result) {
    sent.result = result;
    sent.done = true;
    if (sent.sender) WakeLocked(*sent.sender);
}

void ForgetWindowLocked(uint32_t window, ThreadQueue& owner) {
    for (auto it = owner.sent.begin(); it != owner.sent.end();) {
        if ((*it)->window == window) {
            AnswerLocked(**it, 0);
            it = owner.sent.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = owner.posted.begin(); it != owner.posted.end();) {
        it = it->window == window ? owner.posted.erase(it) : it + 1;
    }
    ForgetSocketsOfWindowLocked(window);
    ForgetTimersOfWindowLocked(window);
}

intptr_t CallWindow(uint32_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    WindowRecord record;
    {
        LoopState& s = Loop();
        std::lock_guard<std::mutex> guard(s.lock);
        auto it = s.windows.find(window);
        if (it == s.windows.end()) return 0;
        record = it->second;
    }
    // The procedure runs without the lock: it may create windows, send or pump.
    if (record.platformProc != nullptr) return record.platformProc(window, message, wParam, lParam);
    return record.exportedProc(window, message, wParam, lParam);
}

void DrainWakeFd(int fd) {
    uint64_t count;
    while (read(fd, &count, sizeof count) > 0) {
    }
}

}  // namespace qv::platform::loop
