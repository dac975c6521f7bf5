// The directories the library and its tests start from.
#include <unistd.h>

#include <climits>

#include "platform/platform.h"

namespace qv::platform {

std::string ExecutableDirectory() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "./";
    std::string name(path, static_cast<size_t>(length));
    return name.substr(0, name.rfind('/') + 1);
}

std::string DefaultDirectory() { return "/tmp/"; }

}  // namespace qv::platform
