// How much memory this process holds resident (its working set on Windows).
#pragma once

#include <cstddef>

namespace qvtest {

// The process's resident size in bytes; 0 when the system does not tell.
size_t ResidentBytes();

// Whether the resident size says anything of the server's own use: not under
// AddressSanitizer, whose quarantine keeps freed memory resident.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryMeasurable = false;
#else
constexpr bool kMemoryMeasurable = true;
#endif

}  // namespace qvtest
