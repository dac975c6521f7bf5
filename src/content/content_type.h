// The content type sent for a file, chosen by its extension, and whether the
// file is a program the server runs instead of sending.
#pragma once

#include <cstdint>
#include <string>

namespace qv::content {

// The content type for `extension` (letter case ignored); sets `cgiFlag` to 1
// for the program extensions and 0 otherwise.
std::string ContentTypeFor(const std::string& extension, int16_t& cgiFlag);

}  // namespace qv::content
