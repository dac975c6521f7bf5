// What lets a client keep a file it already has: the file's entity tag and
// modification date, and the conditions of a request compared with them.
#pragma once

#include <cstdint>
#include <string>

namespace qv::content {

// A strong tag from the file's size and modification time: "size-mtime" in hex, quoted.
std::string EntityTag(uint64_t size, int64_t modifiedSeconds);

// Seconds since 1970 as an HTTP date: "Sun, 06 Nov 1994 08:49:37 GMT".
std::string HttpDate(int64_t seconds);
// The same form read back; false for anything else.
bool ParseHttpDate(const std::string& text, int64_t& seconds);

// The file's validators and the request's conditions (header values, empty when absent).
struct FileValidators {
    std::string tag;
    int64_t modified = -1;  // seconds since 1970; -1 when unknown
};

// True when the client's copy is current: a matching If-None-Match (weak
// comparison, "*" matches any), or, without If-None-Match, an
// If-Modified-Since not older than the file.
bool NotModified(const FileValidators& file, const std::string& ifNoneMatch, const std::string& ifModifiedSince);

// True when a range may be served: no If-Range, or one that names this very
// file (its tag, strongly, or its exact date).
bool IfRangeHolds(const FileValidators& file, const std::string& ifRange);

}  // namespace qv::content
