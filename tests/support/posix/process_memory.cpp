#include "process_memory.h"

#include <unistd.h>

#include <fstream>

namespace qvtest {

size_t ResidentBytes() {
    // /proc/self/statm: total size, then resident size, in pages.
    std::ifstream statm("/proc/self/statm");
    size_t total = 0;
    size_t resident = 0;
    if (!(statm >> total >> resident)) return 0;
    long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? resident * static_cast<size_t>(page) : 0;
}

}  // namespace qvtest
