// This computer's host name.
#include <unistd.h>

#include "platform/platform.h"

namespace qv::platform {

std::string LocalHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return std::string();
    return std::string(name);  // the last byte stays 0 even if the name was cut
}

}  // namespace qv::platform
