// A plain TCP client for the tests: sends bytes, reads until the server closes.
// tests/support/posix/ and tests/support/win32/ implement the socket calls.
#pragma once

#include <cstdint>
#include <string>

namespace qvtest {

// The address the server listens on: the first IPv4 address of this
// computer's host name, in dotted form.
std::string ServerAddress();

struct Exchange {
    bool connected = false;
    std::string received;    // every byte the server sent until it closed
    uint16_t localPort = 0;  // the client's own port, as the server sees it
};

// Connects to address:port, sends `request` (in pieces of `pieces` with a
// pause of `pauseMs` between them when pieces > 1), half-closes nothing, and
// reads until the server closes or `timeoutMs` passes.
Exchange Talk(const std::string& address, uint16_t port, const std::string& request,
              int timeoutMs = 20000, int pieces = 1, int pauseMs = 0);

}  // namespace qvtest
