// The one byte range a client may ask of a file (the Range header).
#pragma once

#include <cstdint>
#include <string>

namespace qv::content {

struct ByteRange {
    enum class Kind { Whole, Part, Unsatisfiable };
    Kind kind = Kind::Whole;
    uint64_t first = 0;   // for Part: the first byte and the count
    uint64_t length = 0;
};

// What `range` (the header's value, empty when there was none) asks of a file
// of `size` bytes: one range "bytes=a-b", "bytes=a-" or "bytes=-n" gives that
// part (b and n cut to the file); a range that starts past the end, or
// "bytes=-0", cannot be satisfied; several ranges or anything malformed give
// the whole file, as if no range had been asked.
ByteRange ChooseRange(const std::string& range, uint64_t size);

// "bytes a-b/size" for a part.
std::string ContentRangeOf(const ByteRange& part, uint64_t size);

}  // namespace qv::content
