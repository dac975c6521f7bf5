// Socket events as window messages: a listening socket registered for a
// window reports each pending connection to that window's owner thread.
#include <fcntl.h>
#include <poll.h>

#include <cstdint>
#include <iterator>

#include "platform/posix/message_queue.h"

namespace qv::platform::loop {
namespace {

constexpr uint32_t kAcceptEvent = 0x08;  // FD_ACCEPT; the high word (error code) stays 0

// The queue whose loop is delivering a socket event on this thread: that loop
// collects its sockets again before it next waits, so re-arming needs no wake.
thread_local const ThreadQueue* tDelivering = nullptr;

}  // namespace

void ForgetSocketsOfWindowLocked(uint32_t window) {
    LoopState& s = Loop();
    for (auto it = s.sockets.begin(); it != s.sockets.end();) {
        it = it->second.window == window ? s.sockets.erase(it) : std::next(it);
    }
}

void CollectSocketsLocked(const ThreadQueue& queue, std::vector<pollfd>& fds) {
    for (const auto& [socket, registration] : Loop().sockets) {
        if (registration.owner.get() == &queue && registration.armed && (registration.events & kAcceptEvent) != 0) {
            fds.push_back(pollfd{socket, POLLIN, 0});
        }
    }
}

void DeliverSocketEvents(const std::shared_ptr<ThreadQueue>& queue, const std::vector<pollfd>& fds, size_t first) {
    LoopState& s = Loop();
    for (size_t i = first; i < fds.size(); ++i) {
        if (fds[i].revents == 0) continue;
        uint32_t window, message;
        {
            std::lock_guard<std::mutex> guard(s.lock);
            auto it = s.sockets.find(fds[i].fd);
            if (it == s.sockets.end() || it->second.owner != queue || !it->second.armed) continue;
            if ((fds[i].revents & POLLNVAL) != 0) {
                // Closed behind our back: nothing more can come from it.
                s.sockets.erase(it);
                continue;
            }
            // Like FD_ACCEPT, reported once until the next accept on the socket.
            it->second.armed = false;
            window = it->second.window;
            message = it->second.message;
        }
        const ThreadQueue* outer = tDelivering;
        tDelivering = queue.get();
        CallWindow(window, message, static_cast<uintptr_t>(fds[i].fd), kAcceptEvent);
        tDelivering = outer;
    }
}

void RearmSocket(int socket) {
    LoopState& s = Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.sockets.find(socket);
    if (it == s.sockets.end() || it->second.armed) return;
    it->second.armed = true;
    if (it->second.owner.get() != tDelivering) WakeLocked(*it->second.owner);
}

void UnregisterSocket(int socket) {
    LoopState& s = Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    s.sockets.erase(socket);
}

}  // namespace qv::platform::loop

namespace qv::platform {

bool NotifySocketEvents(Socket socket, Window window, uint32_t message, uint32_t events) {
    if (socket < 0 || socket > INT32_MAX) return false;
    int fd = static_cast<int>(socket);
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return false;
    loop::LoopState& s = loop::Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    if (events == 0) {
        // No events wanted: the registration ends.
        s.sockets.erase(fd);
        return true;
    }
    if (window == 0 || window > UINT32_MAX) return false;
    auto it = s.windows.find(static_cast<uint32_t>(window));
    if (it == s.windows.end()) return false;
    s.sockets[fd] = loop::SocketRegistration{static_cast<uint32_t>(window), message, events, true, it->second.owner};
    loop::WakeLocked(*it->second.owner);
    return true;
}

}  // namespace qv::platform
