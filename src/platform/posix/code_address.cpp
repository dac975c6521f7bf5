// Whether an address is code: it must lie in a mapping the process may execute.
#include <cinttypes>
#include <cstdio>

#include "platform/platform.h"

namespace qv::platform {

bool IsExecutableAddress(const void* address) {
    if (address == nullptr) return false;
    const uintptr_t wanted = reinterpret_cast<uintptr_t>(address);
    // Read afresh each time: code made at run time (a callback thunk) counts too.
    std::FILE* maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr) return false;
    bool executable = false;
    char line[512];
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        uintmax_t start, end;
        char permissions[5] = {};
        if (std::sscanf(line, "%jx-%jx %4s", &start, &end, permissions) == 3 && wanted >= start && wanted < end) {
            executable = permissions[2] == 'x';
            break;
        }
        // A line longer than the buffer (a long path name): skip its rest.
        while (line[0] != '\0' && line[std::char_traits<char>::length(line) - 1] != '\n') {
            if (std::fgets(line, sizeof line, maps) == nullptr) break;
        }
    }
    std::fclose(maps);
    return executable;
}

}  // namespace qv::platform
