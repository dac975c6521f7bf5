// The status line and header block in front of every answer.
#pragma once

#include <cstdint>
#include <string>

namespace qv::content {

// `statusLine`, server name, content type, ranges and length lines, then
// `moreLines` (each already ended by CR LF), then the empty line.
std::string BuildHeader(const std::string& statusLine, const std::string& contentType, uint64_t bodyLength,
                        const std::string& moreLines);

// "HTTP/1.0 200 OK", server name, content type, ranges and length lines,
// each ended by CR LF, then the empty line.
std::string BuildResponseHeader(const std::string& contentType, uint64_t bodyLength);

}  // namespace qv::content
