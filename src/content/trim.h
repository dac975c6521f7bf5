// Trimming of request texts: spaces alone (request lines and bodies), or the
// request trim set (space, CR, LF and byte 26) around the text handed to the host.
#pragma once

#include <string>

namespace qv::content {

std::string TrimSpaces(const std::string& text);
std::string TrimRequestText(const std::string& text);

}  // namespace qv::content
