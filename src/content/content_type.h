// The content type sent for a file, chosen by its extension, and whether the
// file is a program the server runs instead of sending.
#pragma once

#include <cstdint>
#include <string>

namespace qv::content {

// The content type for `extension` (letter case ignored); sets `cgiFlag` to 1
// for the program extensions and 0 otherwise.
std::string ContentTypeFor(const std::string& extension, int16_t& cgiFlag);

// The type a file goes out under, by the extension after the last dot of its
// (decoded) name, letter case ignored: the host's own types first, then the
// built-in table, else "application/octet-stream".
std::string ContentTypeOfFile(const std::string& name);

// Adds or replaces the host's type for `extension` (without its dot; letter
// case ignored). False, and nothing stored, for an empty extension, one of
// more than kExtensionLimit bytes or holding a dot, separator or control
// byte, a type that is empty, longer than kTypeLimit or holds control bytes,
// or a new extension when kHostTypeLimit are set already.
constexpr size_t kExtensionLimit = 32;
constexpr size_t kTypeLimit = 255;
constexpr size_t kHostTypeLimit = 1024;
bool SetHostContentType(const std::string& extension, const std::string& type);
// Forgets every type the host set.
void ClearHostContentTypes();

}  // namespace qv::content
