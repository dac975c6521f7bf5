// Sending a test client's bytes by a deadline: a server that stops reading
// makes the client give up (and the test fail) instead of blocking forever.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace qvtest {

// How long the test clients and servers give a peer to take what they send.
constexpr std::chrono::seconds kSendTimeOut{20};

// Sends all of `bytes` on the connected socket before `deadline`; false when
// the connection failed or the deadline came first. The socket is left as it was.
bool SendAllBy(uintptr_t socket, const std::string& bytes, std::chrono::steady_clock::time_point deadline);

}  // namespace qvtest
