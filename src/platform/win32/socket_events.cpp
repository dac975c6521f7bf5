// Socket events as window messages: WSAAsyncSelect.
#include <winsock2.h>

#include "platform/platform.h"

namespace qv::platform {

bool NotifySocketEvents(Socket socket, Window window, uint32_t message, uint32_t events) {
    return WSAAsyncSelect(static_cast<SOCKET>(socket), reinterpret_cast<HWND>(window), message,
                          static_cast<long>(events)) == 0;
}

}  // namespace qv::platform
