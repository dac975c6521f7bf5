// Telling why the server could not listen, and where it listens.
#pragma once

#include <string>

namespace qv::serve {

// The first IPv4 address of this computer's host name (where the server
// binds), in dotted form; empty when the name has none.
std::string FirstHostAddress();

// True when a connection to the numeric address:port (either family) is taken at once.
bool AnswersAt(const std::string& address, int port);

// A one-line reason why `port` cannot be listened on at `address`.
std::string ExplainListenFailure(const std::string& address, int port);

}  // namespace qv::serve
