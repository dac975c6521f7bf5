// The native stand-in for the Windows message loop: the state shared by the
// window table, the per-thread message queues, the pump, the socket events,
// the timers and the ends of programs. Everything in LoopState is guarded by
// its one lock.
#pragma once

#include <sys/epoll.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace qv::platform::loop {

struct ThreadQueue;

// A message sent with SendMessage semantics, waiting for its owner's loop.
struct SentMessage {
    uint32_t window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    intptr_t result = 0;
    bool done = false;
    std::shared_ptr<ThreadQueue> sender;  // woken when the answer is in
};

struct PostedMessage {
    uint32_t window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

// When a timer of this queue next falls due: (milliseconds, window, id).
using TimerDue = std::tuple<uint64_t, uint32_t, uintptr_t>;

// The message queue of one thread; it lives as long as someone refers to it,
// but stops taking messages once its thread has ended.
struct ThreadQueue {
    int wakeFd = -1;  // eventfd written for every new message or answer
    // The one wait of the thread's loop: its wake descriptor, the quit (on the
    // loading thread), its sockets and the programs it waits for.
    int pollFd = -1;
    bool quitWatched = false;
    bool alive = true;
    std::deque<PostedMessage> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    // Sockets whose wanted events changed since the loop last waited; the
    // loop brings the poll set up to date before its next wait, so a receive
    // that re-enables what was just reported costs no system call.
    std::vector<int> changedSockets;
    std::set<TimerDue> timersDue;
    std::vector<uint32_t> processesAsked;  // watched without a process descriptor
    ~ThreadQueue();
};

struct WindowRecord {
    QvWindowProc exportedProc;  // a window made through the exports
    WindowProc platformProc;    // a window made inside the library
    std::shared_ptr<ThreadQueue> owner;
};

// A socket whose events become messages to a window.
struct SocketRegistration {
    uint32_t window;
    uint32_t message;
    uint32_t events;  // the kinds asked for (kSocketRead, ...)
    uint32_t armed;   // the kinds that may be reported now; each is cleared when reported
    uint32_t serial;  // tells this registration from an earlier one of the same number
    uint32_t watching = 0;  // the poll interest in force
    bool changed = false;   // listed in the owner's changedSockets
    std::shared_ptr<ThreadQueue> owner;
};

// A program started beside the loop. Its end is seen through a process
// descriptor in the poll set of one queue's loop (or, where the system has
// none, by asking at every pass of that loop), and reaped there.
struct ProcessRecord {
    int pid;
    int pidfd = -1;
    bool ended = false;
    bool forgotten = false;  // no one will ask for it again: dropped once reaped
    std::shared_ptr<ThreadQueue> watcher;  // the loop that looks for its end, if any
    std::vector<PostedMessage> ends;       // posted when it ends
};

struct WindowTimer {
    uint32_t intervalMs;
    uint64_t dueMs;
    std::shared_ptr<ThreadQueue> owner;
};

struct LoopState {
    std::mutex lock;
    std::unordered_map<uint32_t, WindowRecord> windows;
    uint32_t lastWindow = 0;  // rolling counter: a handle is not reused soon
    std::unordered_map<int, SocketRegistration> sockets;
    uint32_t lastSocketSerial = 0;
    std::map<std::pair<uint32_t, uintptr_t>, WindowTimer> timers;  // by window, then id
    std::unordered_map<uint32_t, ProcessRecord> processes;
    uint32_t lastProcess = 0;
    std::shared_ptr<ThreadQueue> loadingThread;  // owner of the first window ever made
    int quitFd = -1;                             // never closed, so a signal handler may write it
    std::atomic<bool> quitPosted{false};
};

LoopState& Loop();

// The calling thread's queue, made on first use; null when no eventfd can be had.
std::shared_ptr<ThreadQueue> CurrentQueue();
// The calling thread's queue if it has one already.
std::shared_ptr<ThreadQueue> ExistingQueue();

// The following expect the caller to hold Loop().lock.
void WakeLocked(ThreadQueue& queue);
void AnswerLocked(SentMessage& sent, intptr_t result);
// Wakes the queue's loop unless the calling thread is that loop's own: it
// looks at its sockets and timers again before it next waits anyway.
void WakeOtherLocked(ThreadQueue& queue);
bool IsCurrentQueue(const ThreadQueue& queue);
// Drops what still waits for a window that is going away: sent messages are
// answered with 0, posted messages, socket registrations and timers are discarded.
void ForgetWindowLocked(uint32_t window, ThreadQueue& owner);
void ForgetSocketsOfWindowLocked(uint32_t window);
void ForgetTimersOfWindowLocked(uint32_t window);
// Brings the queue's poll set up to date with what its sockets may report.
void UpdateSocketInterestLocked(ThreadQueue& queue);
// The wait until the queue's next timer falls due, in milliseconds (-1: none).
int64_t MillisecondsToNextTimerLocked(const ThreadQueue& queue);

// Calls the window's procedure if the window still exists (0 otherwise).
intptr_t CallWindow(uint32_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// What a poll entry stands for: the low 32 bits are a descriptor or a number,
// the high 32 bits a serial; the kind sits in the top two bits of the serial.
enum class PollKind : uint64_t { Wake = 0, Quit = 1, Socket = 2, Process = 3 };
uint64_t PollTag(PollKind kind, uint32_t serial, uint32_t number);
PollKind KindOfTag(uint64_t tag);
// Delivers the events poll found on one of the queue's sockets.
void DeliverSocketEvent(const std::shared_ptr<ThreadQueue>& queue, uint64_t tag, uint32_t events);
// Delivers the timers of the queue that were due by `dueBy` (on the loop's
// clock). Timers that fell due while this pass's messages ran wait for the
// next pass, so the socket events that became ready meanwhile go first, as
// on Windows, where a timer comes only when no other message waits.
void DeliverDueTimers(const std::shared_ptr<ThreadQueue>& queue, uint64_t dueBy);
uint64_t LoopMilliseconds();
// A program the queue waits for has ended: its end is posted.
void NoteProcessEnded(uint64_t tag);
// Looks for the end of the programs the queue watches without a descriptor.
void AskProcessesWithoutDescriptor(const std::shared_ptr<ThreadQueue>& queue);
// The kinds of events given may be reported again (after a receive, an accept,
// or a send that would have blocked).
void RearmSocket(int socket, uint32_t kinds);
void UnregisterSocket(int socket);

void DrainWakeFd(int fd);

}  // namespace qv::platform::loop
