// What the stream client does the same on every system, over its socket calls.
#include "stream_client.h"

#include <chrono>

namespace qvtest {

size_t StreamClient::Drain(size_t total, size_t already, int timeoutMs) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t read = 0;
    while (already + read < total && !closedByServer_ && std::chrono::steady_clock::now() < giveUp) {
        const size_t left = total - already - read;
        read += Read(left < 65536 ? left : 65536, 100).size();
    }
    return read;
}

}  // namespace qvtest
