#include "content/content_type.h"

#include <map>
#include <mutex>

namespace qv::content {

namespace {

struct TypeEntry {
    const char* extension;
    const char* contentType;
    int16_t cgiFlag;
};

// The types by which a request is classified: the first-dot extension, and
// whether it names a program.
constexpr TypeEntry kTypes[] = {
    {"htm", "text/html", 0},  {"html", "text/html", 0}, {"bas", "text/html", 0},
    {"txt", "text/html", 0},  {"jpg", "image/jpeg", 0}, {"jpeg", "image/jpeg", 0},
    {"gif", "image/gif", 0},
    // Programs: their output goes out as HTML.
    {"exe", "text/html", 1},  {"com", "text/html", 1},  {"bat", "text/html", 1},
    {"cgi", "text/html", 1},  {"cmd", "text/html", 1},  {"bin", "text/html", 1},
};

// The types a file goes out under, by its last extension.
constexpr TypeEntry kFileTypes[] = {
    {"htm", "text/html", 0},
    {"html", "text/html", 0},
    {"bas", "text/html", 0},
    // Text is shown as text, never run as a page.
    {"txt", "text/plain", 0},
    {"css", "text/css", 0},
    {"js", "text/javascript", 0},
    {"mjs", "text/javascript", 0},
    {"json", "application/json", 0},
    {"map", "application/json", 0},
    {"xml", "application/xml", 0},
    {"csv", "text/csv", 0},
    {"svg", "image/svg+xml", 0},
    {"jpg", "image/jpeg", 0},
    {"jpeg", "image/jpeg", 0},
    {"gif", "image/gif", 0},
    {"png", "image/png", 0},
    {"webp", "image/webp", 0},
    {"avif", "image/avif", 0},
    {"ico", "image/x-icon", 0},
    {"bmp", "image/bmp", 0},
    {"woff", "font/woff", 0},
    {"woff2", "font/woff2", 0},
    {"ttf", "font/ttf", 0},
    {"otf", "font/otf", 0},
    {"wasm", "application/wasm", 0},
    {"mp4", "video/mp4", 0},
    {"webm", "video/webm", 0},
    {"ogg", "audio/ogg", 0},
    {"mp3", "audio/mpeg", 0},
    {"wav", "audio/wav", 0},
    {"pdf", "application/pdf", 0},
    {"zip", "application/zip", 0},
    {"gz", "application/gzip", 0},
};

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool HasControlByte(const std::string& text) {
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 127) return true;
    }
    return false;
}

// The host's types; the host may set them from any thread while requests are served.
struct HostTypes {
    std::mutex lock;
    std::map<std::string, std::string> byExtension;
};

HostTypes& Host() {
    static HostTypes types;
    return types;
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

std::string ContentTypeOfFile(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    const size_t separator = name.find_last_of("\\/");
    if (dot == std::string::npos || (separator != std::string::npos && separator > dot)) {
        return "application/octet-stream";
    }
    const std::string extension = AsciiLower(name.substr(dot + 1));
    {
        HostTypes& host = Host();
        std::lock_guard<std::mutex> guard(host.lock);
        auto found = host.byExtension.find(extension);
        if (found != host.byExtension.end()) return found->second;
    }
    for (const TypeEntry& entry : kFileTypes) {
        if (extension == entry.extension) return entry.contentType;
    }
    return "application/octet-stream";
}

bool SetHostContentType(const std::string& extension, const std::string& type) {
    if (extension.empty() || extension.size() > kExtensionLimit || HasControlByte(extension) ||
        extension.find_first_of("./\\") != std::string::npos) {
        return false;
    }
    if (type.empty() || type.size() > kTypeLimit || HasControlByte(type)) return false;
    HostTypes& host = Host();
    std::lock_guard<std::mutex> guard(host.lock);
    const std::string key = AsciiLower(extension);
    if (host.byExtension.size() >= kHostTypeLimit && host.byExtension.count(key) == 0) return false;
    host.byExtension[key] = type;
    return true;
}

void ClearHostContentTypes() {
    HostTypes& host = Host();
    std::lock_guard<std::mutex> guard(host.lock);
    host.byExtension.clear();
}

}  // namespace qv::content
