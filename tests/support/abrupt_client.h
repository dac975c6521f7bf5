// Clients that do not wait politely for the answer: one that resets the
// connection, one that closes its sending side before the server answers.
// tests/support/posix/ and tests/support/win32/ implement the socket calls.
#pragma once

#include <cstdint>
#include <string>

#include "raw_client.h"

namespace qvtest {

enum class ClientEnding {
    Reset,      // closes at once with a reset (linger on, time 0): the server never sees an orderly end
    HalfClose,  // shuts down its sending side, then reads until the server closes or the time-out
};

// Connects to address:port, sends `bytes`, then ends as `ending` says. After
// a reset nothing is read; after a half-close `received` holds every byte the
// server sent until it closed or `timeoutMs` (counted from the connect) passed.
Exchange TalkAndEnd(const std::string& address, uint16_t port, const std::string& bytes, ClientEnding ending,
                    int timeoutMs = 20000);

}  // namespace qvtest
