#include <winsock2.h>

#include "platform/platform.h"

namespace qv::platform {

// Winsock's SOMAXCONN asks the provider for its own maximum.
int MaximumListenBacklog() { return SOMAXCONN; }

}  // namespace qv::platform
