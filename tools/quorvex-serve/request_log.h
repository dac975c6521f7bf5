// The line quorvex-serve writes for each request the server hands to it.
#pragma once

#include <string>

namespace qv::serve {

// "<peer> <path>", the path being the request text with its padding removed
// and control bytes shown as '?', so one request is always one line.
std::string RequestLogLine(const std::string& peer, const std::string& request);

}  // namespace qv::serve
