#include "local_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qv::serve {

std::string FirstHostAddress() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "";
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return "";
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
    freeaddrinfo(found);
    return text;
}

bool AnswersAt(const std::string& address, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || found == nullptr)
        return false;
    const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // A listener of this process takes the connection into its queue at once;
    // the server drops it unanswered once its loop runs.
    const bool answered = fd >= 0 && connect(fd, found->ai_addr, found->ai_addrlen) == 0;
    if (fd >= 0) close(fd);
    freeaddrinfo(found);
    return answered;
}

std::string ExplainListenFailure(const std::string& address, int port) {
    const std::string where = address.empty() ? std::string("this computer") : address;
    const std::string portText = "port " + std::to_string(port);
    if (address.empty()) return "cannot listen on " + portText + ": the host name has no IPv4 address";

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return "cannot listen on " + portText + ": no socket available";
    int failure = bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 ? 0 : errno;
    close(fd);
    if (failure == EADDRINUSE) return portText + " is already in use on " + where;
    if (failure == EACCES) return portText + " needs more privileges on " + where;
    if (failure != 0) return "cannot listen on " + where + ":" + std::to_string(port) + ": " + std::strerror(failure);
    return "cannot listen on " + where + ":" + std::to_string(port);
}

}  // namespace qv::serve
