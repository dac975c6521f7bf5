// Names in URLs are percent-encoded UTF-8: the server decodes them before it
// checks or opens anything.
#pragma once

#include <cstdint>
#include <string>

namespace qv::content {

// Decodes every %XX in `name` ('+' stays '+'; a '%' without two hex digits
// after it stays as it is). False when the result holds a NUL or another
// control byte, a separator that came from an escape, or is not valid UTF-8
// (overlong forms and UTF-16 surrogates included).
bool DecodeName(const std::string& name, std::string& decoded);

// The query with every %XX escape decoded ('+' stays '+'; a '%' without two
// hex digits after it stays as it is); any byte may come of it.
std::string UnescapeQuery(const std::string& query);

// Strict UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const std::string& text);

}  // namespace qv::content
