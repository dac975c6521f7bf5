// The long real-time runs: skipped in the suite (which proves the same on the
// server's own clock or with a seeded channel counter), run by scripts/soak
// (QUORVEX_SOAK set).
#pragma once

#include <cstdlib>

namespace qvtest {

inline bool SoakRun() { return std::getenv("QUORVEX_SOAK") != nullptr; }

constexpr const char* kSoakOnly = "a real-time run of scripts/soak";

}  // namespace qvtest
