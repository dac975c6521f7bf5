// Look-ups of this computer's address and of the name behind an address.
#include <winsock2.h>

#include "platform/platform.h"

namespace qv::platform {

namespace {

// The look-ups need the socket library started, whoever calls them.
class SocketLibraryUse {
public:
    SocketLibraryUse() : started_(SocketLibraryStart()) {}
    ~SocketLibraryUse() {
        if (started_) SocketLibraryStop();
    }
    SocketLibraryUse(const SocketLibraryUse&) = delete;
    SocketLibraryUse& operator=(const SocketLibraryUse&) = delete;

private:
    bool started_;
};

}  // namespace

bool FirstLocalHostAddress(uint32_t& addressNetOrder) {
    SocketLibraryUse use;
    const hostent* host = gethostbyname("");
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_length != 4 || host->h_addr_list == nullptr ||
        host->h_addr_list[0] == nullptr) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(host->h_addr_list[0]);
    in_addr address{};
    address.S_un.S_un_b.s_b1 = bytes[0];
    address.S_un.S_un_b.s_b2 = bytes[1];
    address.S_un.S_un_b.s_b3 = bytes[2];
    address.S_un.S_un_b.s_b4 = bytes[3];
    addressNetOrder = address.s_addr;
    return true;
}

std::string HostNameOfAddress(uint32_t addressNetOrder) {
    SocketLibraryUse use;
    const hostent* host = gethostbyaddr(reinterpret_cast<const char*>(&addressNetOrder), 4, AF_INET);
    if (host == nullptr || host->h_name == nullptr) return std::string();
    return std::string(host->h_name);
}

}  // namespace qv::platform
