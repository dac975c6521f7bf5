// The address the server binds and how to explain a failed start.
#pragma once

#include <string>

namespace qv::serve {

// The first IPv4 address that resolving this computer's host name gives, in
// dotted form; empty when the name does not resolve to one.
std::string FirstHostAddress();

// True when a connection to the numeric address:port (either family) is taken at once.
bool AnswersAt(const std::string& address, int port);

// Tries to bind address:port itself and says why that fails, e.g.
// "port 8080 is already in use on 127.0.0.1"; a generic reason when binding works.
std::string ExplainListenFailure(const std::string& address, int port);

}  // namespace qv::serve
