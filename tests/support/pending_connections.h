// Connections that nobody accepts yet: how many of a burst the listening
// socket's queue takes. tests/support/posix/ and tests/support/win32/ implement it.
#pragma once

#include <cstdint>
#include <string>

namespace qvtest {

// Starts `count` connections to address:port at once, waits up to
// `timeoutMs` for them to be established, closes them all, and returns how
// many were established. The server need not accept any of them meanwhile.
int EstablishedOfBurst(const std::string& address, uint16_t port, int count, int timeoutMs);

}  // namespace qvtest
