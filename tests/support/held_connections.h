// Connections a test keeps open while it does other things: each sends some
// bytes (perhaps none) and then neither sends nor reads. tests/support/posix/
// and tests/support/win32/ implement the socket calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvtest {

class HeldConnections {
public:
    HeldConnections() = default;
    ~HeldConnections() { CloseAll(); }
    HeldConnections(const HeldConnections&) = delete;
    HeldConnections& operator=(const HeldConnections&) = delete;

    // Connects `count` more clients to address:port, each sending `bytes`;
    // how many connected. The server must be accepting meanwhile.
    int Open(const std::string& address, uint16_t port, int count, const std::string& bytes);
    // Whether the server has closed one of them by now (the end or a reset is waiting to be read).
    bool ClosedByServer(size_t index) const;
    int CountClosedByServer() const {
        int closed = 0;
        for (size_t i = 0; i < sockets_.size(); ++i) closed += ClosedByServer(i) ? 1 : 0;
        return closed;
    }
    // Every byte the server sent on one of them by now (never waits).
    std::string Received(size_t index) const;
    size_t size() const { return sockets_.size(); }
    void CloseAll();

private:
    std::vector<intptr_t> sockets_;
};

}  // namespace qvtest
