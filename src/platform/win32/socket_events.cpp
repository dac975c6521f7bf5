// Socket events as window messages: WSAAsyncSelect.
#include <winsock2.h>

#include <mutex>
#include <unordered_set>

#include "platform/win32/event_sockets.h"

namespace qv::platform {
namespace {

std::mutex gEventSocketsLock;
std::unordered_set<Socket>& EventSockets() {
    static std::unordered_set<Socket> sockets;
    return sockets;
}

}  // namespace

void NoteEventSocket(Socket socket, bool registered) {
    std::lock_guard<std::mutex> guard(gEventSocketsLock);
    if (registered) {
        EventSockets().insert(socket);
    } else {
        EventSockets().erase(socket);
    }
}

bool IsEventSocket(Socket socket) {
    std::lock_guard<std::mutex> guard(gEventSocketsLock);
    return EventSockets().count(socket) != 0;
}

bool NotifySocketEvents(Socket socket, Window window, uint32_t message, uint32_t events) {
    const bool done = WSAAsyncSelect(static_cast<SOCKET>(socket), reinterpret_cast<HWND>(window), message,
                                     static_cast<long>(events)) == 0;
    // Read and write events on a connection: its calls made "now" go straight to the socket.
    if (done) NoteEventSocket(socket, (events & (kSocketRead | kSocketWrite)) != 0);
    return done;
}

}  // namespace qv::platform
