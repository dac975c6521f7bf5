// Answers posted by a host carry each NUL byte as a fixed placeholder text;
// the question client turns them back into NUL bytes.
#pragma once

#include <string>

namespace qv::client {

extern const char kNulPlaceholder[];  // "REPLACING NULL WITH THIS STRING", 31 bytes

// Every placeholder, found from the front without overlaps, becomes one NUL
// byte; everything else (NUL bytes of the answer's own included) stays.
std::string RestoreNulBytes(const std::string& answer);

}  // namespace qv::client
