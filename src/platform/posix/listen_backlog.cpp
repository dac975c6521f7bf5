#include <sys/socket.h>

#include "platform/platform.h"

namespace qv::platform {

// listen() holds larger numbers to the system's own limit (net.core.somaxconn).
int MaximumListenBacklog() { return SOMAXCONN; }

}  // namespace qv::platform
