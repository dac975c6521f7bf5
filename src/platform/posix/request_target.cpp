#include "platform/posix/request_target.h"

#include <cstddef>
#include <vector>

namespace qv::platform {
namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    for (size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= text.size()) return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// The path with its "." and ".." segments resolved: "/a/./b/../c" is "/a/c";
// a ".." at the top stays at the top, and a path ending in a dot segment
// keeps its closing '/'.
std::string ResolveDotSegments(const std::string& path) {
    std::vector<std::string> kept;
    size_t begin = 1;  // past the leading '/'
    bool closingSlash = false;
    while (begin <= path.size()) {
        size_t end = path.find('/', begin);
        if (end == std::string::npos) end = path.size();
        const std::string segment = path.substr(begin, end - begin);
        const bool last = end == path.size();
        if (segment == ".") {
            closingSlash = last;
        } else if (segment == "..") {
            if (!kept.empty()) kept.pop_back();
            closingSlash = last;
        } else {
            kept.push_back(segment);
            closingSlash = false;
        }
        begin = end + 1;
    }
    std::string resolved;
    for (const std::string& segment : kept) resolved += "/" + segment;
    if (resolved.empty() || closingSlash) resolved += "/";
    return resolved;
}

std::string Escaped(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 15];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

// The origin without its "user:password@".
std::string WithoutCredentials(const std::string& origin, bool& had) {
    const size_t authority = origin.find("//") + 2;
    const size_t at = origin.rfind('@');
    had = at != std::string::npos && at > authority;
    return had ? origin.substr(0, authority) + origin.substr(at + 1) : origin;
}

}  // namespace

std::string RedirectOrigin(const std::string& from, const std::string& to) {
    bool fromHad = false, toHad = false;
    const std::string fromPlace = WithoutCredentials(from, fromHad);
    const std::string toPlace = WithoutCredentials(to, toHad);
    return fromHad && !toHad && fromPlace == toPlace ? from : to;
}

bool SplitRequestTarget(const std::string& url, std::string& origin, std::string& target) {
    size_t schemeEnd;
    if (StartsWithNoCase(url, "http://")) {
        schemeEnd = 7;
    } else if (StartsWithNoCase(url, "https://")) {
        schemeEnd = 8;
    } else {
        return false;
    }
    const size_t authorityEnd = url.find_first_of("/?#", schemeEnd);
    const std::string authority = url.substr(schemeEnd, authorityEnd - schemeEnd);
    if (authority.empty()) return false;
    origin = url.substr(0, schemeEnd) + authority + "/";

    // What follows the path (from its '?', or its '#' when it has no query)
    // goes out as written: a question's query may hold a '#' of its own.
    const std::string rest = authorityEnd == std::string::npos ? std::string() : url.substr(authorityEnd);
    size_t extraStart = rest.find('?');
    if (extraStart == std::string::npos) extraStart = rest.find('#');
    std::string path = rest.substr(0, extraStart);
    if (path.empty()) path = "/";
    target = Escaped(ResolveDotSegments(path));
    if (extraStart != std::string::npos) target += Escaped(rest.substr(extraStart));
    return true;
}

}  // namespace qv::platform
