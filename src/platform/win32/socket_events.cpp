// Socket events as window messages: WSAAsyncSelect.
#include <winsock2.h>

#include <mutex>
#include <unordered_set>

#include "platform/platform.h"
#include "platform/win32/event_sockets.h"

namespace qv::platform {
namespace {

std::mutex gEventSocketsLock;
std::unordered_set<SOCKET> gEventSockets;

}  // namespace

void NoteEventSocket(SOCKET socket, bool registered) {
    std::lock_guard<std::mutex> guard(gEventSocketsLock);
    if (registered) {
        gEventSockets.insert(socket);
    } else {
        gEventSockets.erase(socket);
    }
}

bool IsEventSocket(SOCKET socket) {
    std::lock_guard<std::mutex> guard(gEventSocketsLock);
    return gEventSockets.count(socket) != 0;
}

bool NotifySocketEvents(Socket socket, Window window, uint32_t message, uint32_t events) {
    const SOCKET native = static_cast<SOCKET>(socket);
    if (WSAAsyncSelect(native, reinterpret_cast<HWND>(window), message, static_cast<long>(events)) != 0) return false;
    // The socket stays non-blocking even when the events end.
    NoteEventSocket(native, true);
    return true;
}

}  // namespace qv::platform
