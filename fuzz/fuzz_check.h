// Invariant checks for the fuzz targets: a broken one prints what broke and
// aborts, which libFuzzer reports as a finding and saves the input for.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition)                                                          \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__,    \
                         #condition);                                                    \
            std::abort();                                                                \
        }                                                                                \
    } while (0)
