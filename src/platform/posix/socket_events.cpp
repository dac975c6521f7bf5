// Socket events as window messages, by the rules of asynchronous select: each
// kind of event is reported once and then waits until the call that consumes
// it (a receive, a send that would have blocked, an accept) enables it again;
// the close is reported once. The owner thread's loop waits on the sockets in
// its one poll set, whose interest follows what may be reported.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <iterator>

#include "platform/posix/message_queue.h"

namespace qv::platform::loop {
namespace {

// Error codes in the high word of an event report, numbered as WinSock numbers them.
constexpr uint32_t kErrorConnectionAborted = 10053;
constexpr uint32_t kErrorConnectionReset = 10054;
constexpr uint32_t kErrorTimedOut = 10060;

uint32_t InterestOf(const SocketRegistration& registration) {
    const uint32_t wanted = registration.events & registration.armed;
    uint32_t interest = 0;
    if ((wanted & (kSocketRead | kSocketAccept)) != 0) interest |= EPOLLIN;
    if ((wanted & kSocketWrite) != 0) interest |= EPOLLOUT;
    if ((wanted & kSocketClose) != 0) interest |= EPOLLRDHUP;
    return interest;
}

void MarkChangedLocked(int fd, SocketRegistration& registration) {
    if (registration.changed) return;
    registration.changed = true;
    registration.owner->changedSockets.push_back(fd);
    WakeOtherLocked(*registration.owner);
}

void StopWatchingLocked(int fd, SocketRegistration& registration) {
    if (registration.watching == 0) return;
    epoll_ctl(registration.owner->pollFd, EPOLL_CTL_DEL, fd, nullptr);
    registration.watching = 0;
}

uint32_t CloseError(int fd, uint32_t events) {
    if ((events & EPOLLERR) == 0) return 0;
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error == ECONNRESET || error == EPIPE) return kErrorConnectionReset;
    if (error == ETIMEDOUT) return kErrorTimedOut;
    return kErrorConnectionAborted;
}

bool HasUnreadBytes(int fd) {
    int unread = 0;
    return ioctl(fd, FIONREAD, &unread) == 0 && unread > 0;
}

// Whether `kind` is to be reported for what poll found; `finished` is true
// when the peer sends no more (or the connection failed).
bool ShouldReport(uint32_t kind, int fd, uint32_t events, bool finished) {
    switch (kind) {
        case kSocketAccept: return (events & EPOLLIN) != 0;
        // After the peer's end only bytes still unread are news.
        case kSocketRead: return finished ? HasUnreadBytes(fd) : (events & EPOLLIN) != 0;
        case kSocketWrite: return (events & EPOLLOUT) != 0 && (events & (EPOLLERR | EPOLLHUP)) == 0;
        case kSocketClose: return finished;
        default: return false;
    }
}

}  // namespace

void ForgetSocketsOfWindowLocked(uint32_t window) {
    LoopState& s = Loop();
    for (auto it = s.sockets.begin(); it != s.sockets.end();) {
        if (it->second.window == window) {
            StopWatchingLocked(it->first, it->second);
            it = s.sockets.erase(it);
        } else {
            it = std::next(it);
        }
    }
}

void UpdateSocketInterestLocked(ThreadQueue& queue) {
    LoopState& s = Loop();
    for (int fd : queue.changedSockets) {
        auto it = s.sockets.find(fd);
        if (it == s.sockets.end() || it->second.owner.get() != &queue) continue;
        SocketRegistration& registration = it->second;
        registration.changed = false;
        const uint32_t interest = InterestOf(registration);
        if (interest == registration.watching) continue;
        if (interest == 0) {
            // Even an empty interest would still report a hang-up: leave the set instead.
            StopWatchingLocked(fd, registration);
            continue;
        }
        epoll_event entry{};
        entry.events = interest;
        entry.data.u64 = PollTag(PollKind::Socket, registration.serial, static_cast<uint32_t>(fd));
        const int operation = registration.watching == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
        if (epoll_ctl(queue.pollFd, operation, fd, &entry) == 0) registration.watching = interest;
    }
    queue.changedSockets.clear();
}

void DeliverSocketEvent(const std::shared_ptr<ThreadQueue>& queue, uint64_t tag, uint32_t events) {
    const int fd = static_cast<int>(tag & 0xffffffffu);
    const uint32_t serial = static_cast<uint32_t>(tag >> 32) & 0x3fffffffu;
    const bool finished = (events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0;
    LoopState& s = Loop();
    // In the order WinSock reports them: bytes still to read come before the close.
    for (uint32_t kind : {kSocketAccept, kSocketRead, kSocketWrite, kSocketClose}) {
        uint32_t window, message;
        intptr_t report;
        {
            // Looked up again for each kind: the previous message may have
            // closed the socket, or changed what it wants.
            std::lock_guard<std::mutex> guard(s.lock);
            auto it = s.sockets.find(fd);
            if (it == s.sockets.end() || it->second.owner != queue || (it->second.serial & 0x3fffffffu) != serial) {
                return;
            }
            SocketRegistration& registration = it->second;
            if ((registration.events & registration.armed & kind) == 0) continue;
            const bool news = ShouldReport(kind, fd, events, finished);
            // Reading after the end with nothing left, or writing to a failed
            // connection, can never become news: stop waiting for it too. (A
            // peer that has only finished sending may still take bytes.)
            const bool failed = (events & (EPOLLHUP | EPOLLERR)) != 0;
            const bool never = !news && ((kind == kSocketRead && finished) || (kind == kSocketWrite && failed));
            if (!news && !never) continue;
            registration.armed &= ~kind;
            MarkChangedLocked(fd, registration);
            if (!news) continue;
            window = registration.window;
            message = registration.message;
            const uint32_t error = kind == kSocketClose ? CloseError(fd, events) : 0;
            report = static_cast<intptr_t>(kind | (error << 16));
        }
        CallWindow(window, message, static_cast<uintptr_t>(fd), report);
    }
}

void RearmSocket(int socket, uint32_t kinds) {
    LoopState& s = Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.sockets.find(socket);
    if (it == s.sockets.end()) return;
    SocketRegistration& registration = it->second;
    const uint32_t newly = kinds & registration.events & ~registration.armed;
    if (newly == 0) return;
    registration.armed |= newly;
    MarkChangedLocked(socket, registration);
}

void UnregisterSocket(int socket) {
    LoopState& s = Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.sockets.find(socket);
    if (it == s.sockets.end()) return;
    StopWatchingLocked(socket, it->second);
    s.sockets.erase(it);
}

}  // namespace qv::platform::loop

namespace qv::platform {

bool NotifySocketEvents(Socket socket, Window window, uint32_t message, uint32_t events) {
    if (socket < 0 || socket > INT32_MAX) return false;
    int fd = static_cast<int>(socket);
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return false;
    if (events == 0) {
        // No events wanted: the registration ends.
        loop::UnregisterSocket(fd);
        return true;
    }
    if (window == 0 || window > UINT32_MAX) return false;
    loop::LoopState& s = loop::Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    auto found = s.windows.find(static_cast<uint32_t>(window));
    if (found == s.windows.end()) return false;
    // A new registration replaces the old one, and everything it asks for may be reported at once.
    auto old = s.sockets.find(fd);
    if (old != s.sockets.end()) {
        loop::StopWatchingLocked(fd, old->second);
        s.sockets.erase(old);
    }
    loop::SocketRegistration& registration = s.sockets[fd];
    registration = loop::SocketRegistration{static_cast<uint32_t>(window), message, events, events,
                                            ++s.lastSocketSerial, 0, false, found->second.owner};
    loop::MarkChangedLocked(fd, registration);
    return true;
}

}  // namespace qv::platform
