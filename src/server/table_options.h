// What a connection table is built with: its clock, its time-outs and,
// for tests, the first channel number it gives.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/platform.h"
#include "server/connection_machine.h"
#include "server/routes.h"
#include "server/server_control.h"

namespace qv::server {

// How long a request may wait for its program's turn (each program runs for
// at most its time limit); then it is told the server is busy.
constexpr uint64_t kProgramQueueWaitMs = 60000;

struct TableOptions {
    // The clock of every deadline, in milliseconds.
    uint64_t (*clock)() = platform::MonotonicMilliseconds;
    // How long a client may stay silent, or take nothing of its answer; counted
    // as the channels count it, 1024 ms to the second.
    uint32_t channelTimeoutMs = kChannelTimeoutMs;
    uint64_t programQueueWaitMs = kProgramQueueWaitMs;
    // How long a locked file is tried again before it is answered as missing.
    uint64_t openRetryWindowMs = kOpenRetryWindowMs;
    // How long a kept connection waits for its next request.
    uint64_t keepAliveMs = kKeepAliveMs;
    // When set, the process's channel counter is set at construction to give
    // this number next (1..32767), so that a test starts near a boundary.
    std::optional<int16_t> firstChannelNumber;
};

}  // namespace qv::server
