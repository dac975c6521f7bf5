// The request target the Windows Internet client services send for a URL,
// so that the Linux fetch asks a server for the same thing the DLL asks for.
#pragma once

#include <string>

namespace qv::platform {

// Splits an http or https URL into the part before its path (scheme, "//",
// credentials, host and port) and the request target: the path, query and
// fragment as written, with the dot segments of the path resolved, each space
// written as %20 and each other control byte as %XX, bytes above 127 as they
// are, "/" for an empty path. False for anything else.
bool SplitRequestTarget(const std::string& url, std::string& origin, std::string& target);

// The origin a redirect leads to, given the one it came from: where it leads
// to the same scheme, host and port without credentials of its own, the
// credentials of the first go on with it.
std::string RedirectOrigin(const std::string& from, const std::string& to);

}  // namespace qv::platform
