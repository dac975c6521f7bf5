#include "winsock_ready.h"

#include <winsock2.h>

namespace qvtest {

bool WinsockReady() {
    static const bool ready = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

}  // namespace qvtest
