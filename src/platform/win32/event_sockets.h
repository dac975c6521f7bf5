// The sockets registered for events. Registration makes a socket
// non-blocking, and its read and write events come back only after a call
// that receives or sends; so on these the "now" calls must always make the
// call instead of asking select first.
#pragma once

#include <winsock2.h>

namespace qv::platform {

void NoteEventSocket(SOCKET socket, bool registered);
bool IsEventSocket(SOCKET socket);

}  // namespace qv::platform
