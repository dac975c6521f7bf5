// The native stand-in for the Windows message loop: the state shared by the
// window table, the per-thread message queues, the pump and the socket events.
// Everything in LoopState is guarded by its one lock.
#pragma once

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
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

// The message queue of one thread; it lives as long as someone refers to it,
// but stops taking messages once its thread has ended.
struct ThreadQueue {
    int wakeFd = -1;  // eventfd written for every new message or answer
    bool alive = true;
    std::deque<PostedMessage> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    ~ThreadQueue();
};

struct WindowRecord {
    QvWindowProc exportedProc;  // a window made through the exports
    WindowProc platformProc;    // a window made inside the library
    std::shared_ptr<ThreadQueue> owner;
};

// A listening socket whose pending connections become messages to a window.
struct SocketRegistration {
    uint32_t window;
    uint32_t message;
    uint32_t events;
    bool armed;  // cleared once reported; an accept on the socket arms it again
    std::shared_ptr<ThreadQueue> owner;
};

struct LoopState {
    std::mutex lock;
    std::unordered_map<uint32_t, WindowRecord> windows;
    uint32_t lastWindow = 0;  // rolling counter: a handle is not reused soon
    std::unordered_map<int, SocketRegistration> sockets;
    std::shared_ptr<ThreadQueue> loadingThread;  // owner of the first window ever made
    int quitFd = -1;                             // never closed, so a signal handler may write it
    std::atomic<bool> quitPosted{false};
};

LoopState& Loop();

// The calling thread's queue, made on first use; null when no eventfd can be had.
std::shared_ptr<ThreadQueue> CurrentQueue();

// The following expect the caller to hold Loop().lock.
void WakeLocked(ThreadQueue& queue);
void AnswerLocked(SentMessage& sent, intptr_t result);
// Drops what still waits for a window that is going away: sent messages are
// answered with 0, posted messages and socket registrations are discarded.
void ForgetWindowLocked(uint32_t window, ThreadQueue& owner);
void ForgetSocketsOfWindowLocked(uint32_t window);
// Adds the sockets that may report an event to this queue's loop.
void CollectSocketsLocked(const ThreadQueue& queue, std::vector<pollfd>& fds);

// Calls the window's procedure if the window still exists (0 otherwise).
intptr_t CallWindow(uint32_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Delivers the events of the sockets from `first` on that poll() found ready.
void DeliverSocketEvents(const std::shared_ptr<ThreadQueue>& queue, const std::vector<pollfd>& fds, size_t first);
// Arms the socket's accept notification again (called after each accept).
void RearmSocket(int socket);
void UnregisterSocket(int socket);

void DrainWakeFd(int fd);

}  // namespace qv::platform::loop
