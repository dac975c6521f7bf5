// Where the running program lives, and the directory a fresh library starts with.
#include <windows.h>

#include "platform/platform.h"

namespace qv::platform {

std::string ExecutableDirectory() {
    char path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return std::string();
    std::string name(path, length);
    return name.substr(0, name.find_last_of("\\/") + 1);
}

std::string DefaultDirectory() { return "C:\\Temp\\"; }

}  // namespace qv::platform
