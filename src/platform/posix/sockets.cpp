// Plain BSD sockets (TCP) behind the socket functions. Every socket is
// close-on-exec, and no send may raise SIGPIPE in the host.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include "platform/platform.h"
#include "platform/posix/file_handles.h"
#include "platform/posix/message_queue.h"
#include "platform/socket_address.h"

namespace qv::platform {
namespace {

int Fd(Socket socket) { return socket < 0 || socket > INT_MAX ? -1 : static_cast<int>(socket); }

sockaddr_in Ipv4(uint32_t addressNetOrder, uint16_t port) {
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = addressNetOrder;
    address.sin_port = htons(port);
    return address;
}

size_t Capped(size_t size) { return size > LONG_MAX ? LONG_MAX : size; }

// One receive or send, repeated when a signal interrupts it. A failure is -1;
// for a call that must not wait, "not ready yet" is kWouldBlock instead.
template <typename Call>
long Uninterrupted(Call call, bool mustNotWait) {
    ssize_t done;
    do {
        done = call();
    } while (done < 0 && errno == EINTR);
    if (done >= 0) return static_cast<long>(done);
    return mustNotWait && (errno == EAGAIN || errno == EWOULDBLOCK) ? kWouldBlock : -1;
}

bool WouldHaveBlocked() { return errno == EAGAIN || errno == EWOULDBLOCK; }

// A receive enables the next read event, whatever it found.
long Received(int fd, long result) {
    int savedErrno = errno;
    loop::RearmSocket(fd, kSocketRead);
    errno = savedErrno;
    return result;
}

// Only a send that would have blocked enables the next write event.
long Sent(int fd, long result) {
    if (result == kWouldBlock || (result < 0 && WouldHaveBlocked())) {
        int savedErrno = errno;
        loop::RearmSocket(fd, kSocketWrite);
        errno = savedErrno;
    }
    return result;
}

}  // namespace

bool SocketLibraryStart() { return true; }
void SocketLibraryStop() {}

int LastSocketError() {
    int error = errno;
    if (error == EINPROGRESS || error == EALREADY) return kErrorInProgress;
    return error != 0 ? error : EIO;
}

Socket OpenTcpSocket() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return fd < 0 ? kNoSocket : fd;
}

bool SetDontLinger(Socket socket) {
    linger off{0, 0};
    return setsockopt(Fd(socket), SOL_SOCKET, SO_LINGER, &off, sizeof off) == 0;
}

bool BindSocket(Socket socket, uint32_t addressNetOrder, uint16_t port) {
    // A port whose last connections linger in TIME_WAIT can be listened on
    // again at once, as it can on Windows; two listeners on one port still cannot.
    int on = 1;
    setsockopt(Fd(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = Ipv4(addressNetOrder, port);
    return bind(Fd(socket), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool ListenSocket(Socket socket, int backlog) {
    // A listener never makes an accept wait, registered for events or not.
    int fd = Fd(socket);
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    // A connection is reported only once its first bytes are in: a client that
    // connects and says nothing does not wake the server (the system accepts
    // it after some seconds all the same, and the receive time-out applies).
    int seconds = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
    return listen(fd, backlog) == 0;
}

Socket AcceptConnection(Socket listening, PeerAddress* peer) {
    int fd = Fd(listening);
    if (fd < 0) {
        errno = EBADF;
        return kNoSocket;
    }
    sockaddr_storage address;
    socklen_t length = sizeof address;
    int accepted;
    do {
        // The accepted socket blocks; registering it for events makes it non-blocking.
        accepted = accept4(fd, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
    } while (accepted < 0 && errno == EINTR);
    int savedErrno = errno;
    // The next pending connection is reported again, as after an accept on Windows.
    loop::RearmSocket(fd, kSocketAccept);
    errno = savedErrno;
    if (accepted < 0) return kNoSocket;
    if (peer != nullptr) peer->known = FromNative(address, length, peer->address, peer->port);
    return accepted;
}

long ReceiveSocket(Socket socket, char* buffer, size_t size) {
    const int fd = Fd(socket);
    return Received(fd, Uninterrupted([&] { return recv(fd, buffer, Capped(size), MSG_NOSIGNAL); }, false));
}

long SendSocket(Socket socket, const char* data, size_t size) {
    const int fd = Fd(socket);
    return Sent(fd, Uninterrupted([&] { return send(fd, data, Capped(size), MSG_NOSIGNAL); }, false));
}

long ReceiveSocketNow(Socket socket, char* buffer, size_t size) {
    const int fd = Fd(socket);
    return Received(fd,
                    Uninterrupted([&] { return recv(fd, buffer, Capped(size), MSG_NOSIGNAL | MSG_DONTWAIT); }, true));
}

long SendSocketNow(Socket socket, const char* data, size_t size) {
    const int fd = Fd(socket);
    return Sent(fd, Uninterrupted([&] { return send(fd, data, Capped(size), MSG_NOSIGNAL | MSG_DONTWAIT); }, true));
}

namespace {

// sendfile has no MSG_NOSIGNAL: SIGPIPE is held back on this thread for the
// call, and one that the call raised is taken before it can reach the host.
template <typename Call>
long WithoutBrokenPipeSignal(Call call) {
    sigset_t pipe, old, pending;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigemptyset(&pending);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe, &old);
    const long result = call();
    const int savedErrno = errno;
    if (result < 0 && savedErrno == EPIPE && !alreadyPending) {
        const timespec none{0, 0};
        while (sigtimedwait(&pipe, nullptr, &none) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = savedErrno;
    return result;
}

}  // namespace

long SendFileNow(Socket socket, File file, uint64_t offset, size_t count) {
    const int fd = Fd(socket);
    const int source = DescriptorOf(file);
    if (fd < 0 || source < 0 || offset > static_cast<uint64_t>(INT64_MAX)) {
        errno = EBADF;
        return -1;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return -1;
    if ((flags & O_NONBLOCK) == 0) {
        // sendfile on a blocking socket would wait for room: read a piece and send what fits now.
        char piece[16384];
        long got = ReadFileAt(file, offset, piece, count < sizeof piece ? count : sizeof piece);
        return got <= 0 ? got : SendSocketNow(socket, piece, static_cast<size_t>(got));
    }
    off_t position = static_cast<off_t>(offset);
    return Sent(fd, Uninterrupted(
                        [&] {
                            return WithoutBrokenPipeSignal(
                                [&] { return static_cast<long>(sendfile(fd, source, &position, Capped(count))); });
                        },
                        true));
}

void ShutdownSending(Socket socket) {
    const int fd = Fd(socket);
    if (fd >= 0) shutdown(fd, SHUT_WR);
}

void CloseSocket(Socket socket) {
    int fd = Fd(socket);
    if (fd < 0) return;
    // Its events end before the number can be reused by another socket.
    loop::UnregisterSocket(fd);
    close(fd);
}

bool SocketPeer(Socket socket, IpAddress& address, uint16_t& port) {
    sockaddr_storage native;
    socklen_t length = sizeof native;
    if (getpeername(Fd(socket), reinterpret_cast<sockaddr*>(&native), &length) != 0) return false;
    return FromNative(native, length, address, port);
}

std::string AddressText(uint32_t addressNetOrder) {
    in_addr address;
    address.s_addr = addressNetOrder;
    char text[INET_ADDRSTRLEN];
    if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) return std::string();
    return text;
}

bool FirstLocalHostAddress(uint32_t& addressNetOrder) {
    char name[256];
    if (gethostname(name, sizeof name) != 0) return false;
    name[sizeof name - 1] = '\0';
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return false;
    addressNetOrder = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return true;
}

std::string HostNameOfAddress(uint32_t addressNetOrder) {
    sockaddr_in address = Ipv4(addressNetOrder, 0);
    char name[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<sockaddr*>(&address), sizeof address, name, sizeof name, nullptr, 0,
                    NI_NAMEREQD) != 0) {
        return std::string();
    }
    return name;
}

}  // namespace qv::platform
