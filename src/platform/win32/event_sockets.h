// Sockets registered for event messages: WSAAsyncSelect has made them
// non-blocking, and their read and write events are enabled again only by a
// receive or send that is actually made (and, for writing, would have blocked).
#pragma once

#include "platform/platform.h"

namespace qv::platform {

void NoteEventSocket(Socket socket, bool registered);
bool IsEventSocket(Socket socket);

}  // namespace qv::platform
