// TCP sockets on Windows Sockets 2.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <vector>

#include "platform/platform.h"
#include "platform/win32/event_sockets.h"
#include "platform/socket_address.h"

namespace qv::platform {

namespace {

SOCKET Native(Socket socket) { return static_cast<SOCKET>(socket); }

// A CGI program is started with handle inheritance: it must not take our
// sockets with it, or a connection (or the port) stays open while it runs.
void KeepFromChildren(SOCKET socket) {
    SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}

enum class Readiness { Ready, NotYet, Failed };

// select() on one socket for reading or writing, without waiting.
Readiness ReadyNow(Socket socket, bool forWriting) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(Native(socket), &set);
    timeval none{0, 0};
    int ready = forWriting ? select(0, nullptr, &set, nullptr, &none) : select(0, &set, nullptr, nullptr, &none);
    if (ready == SOCKET_ERROR) return Readiness::Failed;
    return ready == 0 ? Readiness::NotYet : Readiness::Ready;
}

}  // namespace

bool SocketLibraryStart() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 0), &data) != 0) return false;
    if (LOBYTE(data.wVersion) != 2) {
        WSACleanup();
        return false;
    }
    return true;
}

void SocketLibraryStop() { WSACleanup(); }

int LastSocketError() { return WSAGetLastError(); }

Socket OpenTcpSocket() {
    SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) return kNoSocket;
    KeepFromChildren(socket);
    return static_cast<Socket>(socket);
}

bool SetDontLinger(Socket socket) {
    BOOL on = TRUE;
    return setsockopt(Native(socket), SOL_SOCKET, SO_DONTLINGER, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

bool BindSocket(Socket socket, uint32_t addressNetOrder, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = addressNetOrder;
    address.sin_port = htons(port);
    return bind(Native(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool ListenSocket(Socket socket, int backlog) { return listen(Native(socket), backlog) == 0; }

Socket AcceptConnection(Socket listening, PeerAddress* peer) {
    // Never waits, even on a listener no one made non-blocking.
    const Readiness pending = ReadyNow(listening, false);
    if (pending != Readiness::Ready) {
        if (pending == Readiness::NotYet) WSASetLastError(WSAEWOULDBLOCK);
        return kNoSocket;
    }
    sockaddr_storage address{};
    int length = sizeof address;
    SOCKET accepted = accept(Native(listening), reinterpret_cast<sockaddr*>(&address), &length);
    if (accepted == INVALID_SOCKET) return kNoSocket;
    if (peer != nullptr) peer->known = FromNative(address, length, peer->address, peer->port);
    KeepFromChildren(accepted);
    // A bounded send buffer, so a slow reader's progress shows as write
    // events long before the send time-out.
    int sendBuffer = 64 * 1024;
    setsockopt(accepted, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sendBuffer), sizeof sendBuffer);
    // The new socket inherits the listener's event registration and with it
    // non-blocking mode: both are undone, so that it blocks until it is
    // registered for events of its own.
    WSAAsyncSelect(accepted, nullptr, 0, 0);
    u_long blocking = 0;
    ioctlsocket(accepted, FIONBIO, &blocking);
    return static_cast<Socket>(accepted);
}

long ReceiveSocket(Socket socket, char* buffer, size_t size) {
    int wanted = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
    int got = recv(Native(socket), buffer, wanted, 0);
    return got == SOCKET_ERROR ? -1 : got;
}

long SendSocket(Socket socket, const char* data, size_t size) {
    int wanted = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
    int sent = send(Native(socket), data, wanted, 0);
    return sent == SOCKET_ERROR ? -1 : sent;
}

namespace {

// The result of a call on a non-blocking socket: "would block" told apart from failure.
long NonBlockingResult(long result) {
    if (result >= 0) return result;
    return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : -1;
}

}  // namespace

// Accepted sockets block, so "now" is a wait of no time and then the call. A
// socket registered for events is non-blocking and is called directly: only a
// call that was made enables its next event (a select would not).
long ReceiveSocketNow(Socket socket, char* buffer, size_t size) {
    if (IsEventSocket(socket)) return NonBlockingResult(ReceiveSocket(socket, buffer, size));
    const Readiness ready = ReadyNow(socket, false);
    if (ready == Readiness::Failed) return -1;
    return ready == Readiness::NotYet ? kWouldBlock : ReceiveSocket(socket, buffer, size);
}

long SendSocketNow(Socket socket, const char* data, size_t size) {
    if (IsEventSocket(socket)) return NonBlockingResult(SendSocket(socket, data, size));
    const Readiness ready = ReadyNow(socket, true);
    if (ready == Readiness::Failed) return -1;
    return ready == Readiness::NotYet ? kWouldBlock : SendSocket(socket, data, size);
}

long SendFileNow(Socket socket, File file, uint64_t offset, size_t count) {
    // One bounded piece per call: what the socket does not take now is read again next time.
    constexpr size_t kPiece = 65536;
    std::vector<char> piece(count < kPiece ? count : kPiece);
    long got = ReadFileAt(file, offset, piece.data(), piece.size());
    if (got <= 0) return count == 0 ? 0 : got;
    return SendSocketNow(socket, piece.data(), static_cast<size_t>(got));
}

void ShutdownSending(Socket socket) {
    if (socket != kNoSocket) shutdown(Native(socket), SD_SEND);
}

void CloseSocket(Socket socket) {
    if (socket == kNoSocket) return;
    NoteEventSocket(socket, false);
    closesocket(Native(socket));
}

bool SocketPeer(Socket socket, IpAddress& address, uint16_t& port) {
    sockaddr_storage peer{};
    int length = sizeof peer;
    if (getpeername(Native(socket), reinterpret_cast<sockaddr*>(&peer), &length) != 0) return false;
    return FromNative(peer, length, address, port);
}

std::string AddressText(uint32_t addressNetOrder) {
    in_addr address{};
    address.s_addr = addressNetOrder;
    const char* text = inet_ntoa(address);
    return text == nullptr ? std::string() : std::string(text);
}

}  // namespace qv::platform
