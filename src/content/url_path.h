// The text rules that turn a request line into a mapped path, its extension,
// and the program name and query of that path. Pure byte-string operations.
#pragma once

#include <string>

namespace qv::content {

// The URL of `line` from position `start` (counted from 1) up to the first space.
std::string UrlOfLine(const std::string& line, int start);

// The mapping of a URL: '\\' separators, one leading separator dropped,
// "default.htm" for the root and after a trailing separator, and ".htm" when
// it has no dot.
std::string MapUrl(std::string url);

// The URL of `line` from position `start` (counted from 1) up to the first
// space, with '\' separators, one leading separator dropped, "default.htm"
// for the root and after a trailing separator, and ".htm" when it has no dot.
std::string MapUrlToPath(const std::string& line, int start);

// The text after the first '.' (or the whole path when there is none), up to
// the first '?' after that point.
std::string PathExtension(const std::string& path);

// Splits at the first '?': the program name before it, the query after it.
void SplitProgramQuery(const std::string& path, std::string& query, std::string& program);

// What the file route looks up for a URL: the mapping of its part before the
// first '?', and the query after it.
struct FileTarget {
    std::string path;       // mapped, not yet decoded
    std::string query;
    bool hasQuery = false;
    bool htmAdded = false;  // the name had no dot and was given ".htm"
};
FileTarget FileTargetOf(const std::string& url);

}  // namespace qv::content
