// Whether a connection stays open after an answer, and the answer's bytes
// made to end exactly where its client will look for the next one.
#pragma once

#include "server/answer.h"
#include "server/request_reader.h"

namespace qv::server {

// An HTTP/1.1 request keeps its connection unless it says "Connection: close";
// an older one only when it says "Connection: keep-alive".
bool AsksToKeepConnection(const Request& request);

// Makes `answer` delimited for a connection that stays open: its body cut to
// exactly its Content-Length (none for HEAD, 1xx, 204 and 304), and the
// connection's staying said as the request's version says it: to an HTTP/1.1
// request the status line says HTTP/1.1 (clients that see HTTP/1.0 fall back
// to it, and close, on their next request); to an older one a "Connection:
// keep-alive" line is added. False, with the answer as it was, when
// it cannot be delimited: no whole header block, no length, a length longer
// than the bytes there are, a transfer coding, or a "Connection" line of its own.
bool FrameForKeptConnection(Answer& answer, const Request& request);

// An answer that ends its connection although the client asked to keep it:
// one whose status line says HTTP/1.1 (where staying open is the default)
// gets "Connection: close"; an HTTP/1.0 one says so already.
void MarkClosing(Answer& answer);

}  // namespace qv::server
