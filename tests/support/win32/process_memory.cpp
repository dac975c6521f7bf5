#include "process_memory.h"

#include <windows.h>

#include <psapi.h>

namespace qvtest {

size_t ResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.WorkingSetSize;
}

}  // namespace qvtest
