#include "listen_failure.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace qv::serve {

namespace {

bool SocketsReady() {
    static const bool ready = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

}  // namespace

std::string FirstHostAddress() {
    if (!SocketsReady()) return "";
    const hostent* host = gethostbyname("");
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_addr_list == nullptr ||
        host->h_addr_list[0] == nullptr) {
        return "";
    }
    in_addr address;
    memcpy(&address, host->h_addr_list[0], sizeof address);
    return inet_ntoa(address);
}

bool AnswersAt(const std::string& address, int port) {
    if (!SocketsReady()) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || found == nullptr)
        return false;
    SOCKET probe = socket(found->ai_family, SOCK_STREAM, IPPROTO_TCP);
    // A listener of this process takes the connection into its queue at once;
    // the server drops it unanswered once its loop runs.
    const bool answered =
        probe != INVALID_SOCKET && connect(probe, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0;
    if (probe != INVALID_SOCKET) closesocket(probe);
    freeaddrinfo(found);
    return answered;
}

std::string ExplainListenFailure(const std::string& address, int port) {
    const std::string portText = "port " + std::to_string(port);
    if (address.empty()) return "cannot listen on " + portText + ": the host name has no IPv4 address";
    if (!SocketsReady()) return "cannot listen on " + portText + ": Windows Sockets is not available";
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (probe == INVALID_SOCKET) return "cannot listen on " + portText + ": no socket available";
    // Exclusive use, so a port another program holds is reported as taken.
    BOOL exclusive = TRUE;
    setsockopt(probe, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<u_short>(port));
    local.sin_addr.s_addr = inet_addr(address.c_str());
    int failure = bind(probe, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 ? 0 : WSAGetLastError();
    closesocket(probe);
    const std::string where = address + ":" + std::to_string(port);
    if (failure == WSAEADDRINUSE) return portText + " is already in use on " + address;
    if (failure == WSAEACCES) return portText + " needs more privileges on " + address;
    if (failure != 0) return "cannot listen on " + where + " (Windows Sockets error " + std::to_string(failure) + ")";
    return "cannot listen on " + where;
}

}  // namespace qv::serve
