#include "content/content_type.h"

namespace qv::content {

namespace {

struct TypeEntry {
    const char* extension;
    const char* contentType;
    int16_t cgiFlag;
};

constexpr TypeEntry kTypes[] = {
    {"htm", "text/html", 0},  {"html", "text/html", 0}, {"bas", "text/html", 0},
    {"txt", "text/html", 0},  {"jpg", "image/jpeg", 0}, {"jpeg", "image/jpeg", 0},
    {"gif", "image/gif", 0},
    // Programs: their output goes out as HTML.
    {"exe", "text/html", 1},  {"com", "text/html", 1},  {"bat", "text/html", 1},
    {"cgi", "text/html", 1},  {"cmd", "text/html", 1},  {"bin", "text/html", 1},
};

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace

std::string ContentTypeFor(const std::string& extension, int16_t& cgiFlag) {
    cgiFlag = 0;
    const std::string lower = AsciiLower(extension);
    for (const TypeEntry& entry : kTypes) {
        if (lower == entry.extension) {
            cgiFlag = entry.cgiFlag;
            return entry.contentType;
        }
    }
    return "application/octet-stream";
}

}  // namespace qv::content
