// How much memory this process holds resident (its working set on Windows).
#pragma once

#include <cstddef>

namespace qvtest {

// The process's resident size in bytes; 0 when the system does not tell.
size_t ResidentBytes();

}  // namespace qvtest
