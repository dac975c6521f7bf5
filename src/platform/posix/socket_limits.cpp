// What a server under load needs to know of its sockets and descriptors.
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/resource.h>

#include <cerrno>

#include "platform/platform.h"

namespace qv::platform {

long UnsentSocketBytes(Socket socket) {
    if (socket < 0 || socket > INT32_MAX) return -1;
    int unsent = 0;
    if (ioctl(static_cast<int>(socket), SIOCOUTQ, &unsent) != 0 || unsent < 0) return -1;
    return unsent;
}

bool IsResourceShortage(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

void RaiseDescriptorLimit() {
    // Enough for every slot's socket and file, the programs' files and the
    // host's own; never above what the system allows this process.
    constexpr rlim_t kWanted = 4096;
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= kWanted) return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > kWanted ? kWanted : limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace qv::platform
