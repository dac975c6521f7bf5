// Runs the calling thread's message loop until `done` holds or the time is up;
// false when it never held.
#pragma once

#include <chrono>

#include "platform/platform.h"

namespace qvtest {

template <typename Done>
bool PumpUntil(Done done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        qv::platform::PumpMessages(10);
    }
    return true;
}

}  // namespace qvtest
