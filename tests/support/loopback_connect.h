// A client end for tests that drive a server socket themselves: a blocking
// socket connected to 127.0.0.1. Use it with the loopback calls of
// recording_server.h (Receive, SendAll, Close).
#pragma once

#include <cstdint>

#include "recording_server.h"

namespace qvtest::loopback {

Socket Connect(uint16_t port);  // kNoSocket on failure
// Ends the connection with a reset instead of an orderly close.
void Reset(Socket socket);

}  // namespace qvtest::loopback
