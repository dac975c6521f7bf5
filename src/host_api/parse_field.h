// One field of a text split at delimiter bytes, as the host asks for it.
#pragma once

#include <cstdint>
#include <string>

namespace qv::host_api {

// Field `index` of `text` (from 1; negative counts from the end, -1 the last),
// where every byte found in `delimiters` ends a field. Empty delimiters give
// the whole text; index 0 or beyond the fields gives empty text.
std::string ParseField(const std::string& text, const std::string& delimiters, int32_t index);

}  // namespace qv::host_api
