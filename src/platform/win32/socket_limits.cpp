// What a server under load needs to know of its sockets and descriptors.
#include <winsock2.h>

#include "platform/platform.h"

namespace qv::platform {

// Windows does not tell how much of a send the peer has taken: the accepted
// sockets' bounded send buffer makes a slow reader's progress show as write events.
long UnsentSocketBytes(Socket /*socket*/) { return -1; }

bool IsResourceShortage(int error) { return error == WSAEMFILE || error == WSAENOBUFS; }

// Handles have no per-process limit to raise.
void RaiseDescriptorLimit() {}

}  // namespace qv::platform
