// This computer's host name. The look-up starts and ends its own use of the
// socket library, so it works whether or not the server is listening.
#include <winsock2.h>

#include "platform/platform.h"

namespace qv::platform {

std::string LocalHostName() {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 0), &data) != 0) return std::string();
    char name[256] = {};
    const bool found = gethostname(name, sizeof name - 1) == 0;
    WSACleanup();
    return found ? std::string(name) : std::string();
}

}  // namespace qv::platform
