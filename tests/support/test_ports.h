// The ports a test process listens on. The suites run as shards side by side,
// each shard in a block of ports of its own that the runner names in
// QV_TEST_PORT_BASE; a test adds its own offset within the block (below 1000).
#pragma once

#include <cstdint>
#include <cstdlib>

namespace qvtest {

constexpr uint16_t kDefaultPortBase = 18000;
constexpr uint16_t kPortBlockSize = 1000;

inline uint16_t PortBase() {
    static const uint16_t base = [] {
        const char* text = std::getenv("QV_TEST_PORT_BASE");
        const long value = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
        return value >= 1024 && value <= 65535 - kPortBlockSize ? static_cast<uint16_t>(value) : kDefaultPortBase;
    }();
    return base;
}

inline uint16_t TestPort(uint16_t offset) { return static_cast<uint16_t>(PortBase() + offset % kPortBlockSize); }

}  // namespace qvtest
