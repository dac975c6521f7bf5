#include "request_log.h"

namespace qv::serve {

namespace {

std::string Printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    return text;
}

}  // namespace

std::string RequestLogLine(const std::string& peer, const std::string& request) {
    std::string path = request;
    // The request text comes padded with spaces (or zero bytes before any request).
    size_t end = path.find_last_not_of(std::string(" \0", 2));
    path.erase(end == std::string::npos ? 0 : end + 1);
    if (path.empty()) path = "(empty)";
    return Printable(peer) + " " + Printable(path);
}

}  // namespace qv::serve
