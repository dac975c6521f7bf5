// A plain TCP client for the tests: sends bytes, reads until the server closes.
// tests/support/posix/ and tests/support/win32/ implement the socket calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvtest {

// The address the server listens on: the first IPv4 address of this
// computer's host name, in dotted form.
std::string ServerAddress();

struct Exchange {
    bool connected = false;
    std::string received;    // every byte the server sent until it closed
    uint16_t localPort = 0;  // the client's own port, as the server sees it
    bool closedByServer = false;  // false when the time-out (or a reset) ended the reading
    bool sentAll = false;         // every byte went out before a failure or the time-out
};

// Connects to address:port, sends `request` (in pieces of `pieces` with a
// pause of `pauseMs` between them when pieces > 1), half-closes nothing, and
// reads until the server closes or `timeoutMs` passes.
Exchange Talk(const std::string& address, uint16_t port, const std::string& request,
              int timeoutMs = 20000, int pieces = 1, int pauseMs = 0);

// Connects, sends each piece in turn with `pauseMs` between them, then reads
// until the server closes or `timeoutMs` (counted from the connect) passes.
// With no pieces it only connects and waits: the server sees a silent client.
Exchange TalkInPieces(const std::string& address, uint16_t port,
                      const std::vector<std::string>& pieces, int pauseMs,
                      int timeoutMs = 20000);

// A listening socket the test holds on a numeric address (either family)
// and port, so that no one else can listen there; held() false when it could not be had.
class HeldListener {
public:
    HeldListener(const std::string& address, uint16_t port);
    ~HeldListener();
    HeldListener(const HeldListener&) = delete;
    HeldListener& operator=(const HeldListener&) = delete;
    bool held() const { return socket_ != kNone; }

private:
    static constexpr uintptr_t kNone = ~uintptr_t{0};
    uintptr_t socket_ = kNone;
};

// True where this machine can listen and connect on the IPv6 loopback ::1.
bool Ipv6LoopbackWorks();

// `text` cut into `count` consecutive pieces of nearly equal length (the
// last ones may be empty when the text is shorter than `count`).
std::vector<std::string> SplitIntoPieces(const std::string& text, int count);

}  // namespace qvtest
