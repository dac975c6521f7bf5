#include "content/response_header.h"

namespace qv::content {

std::string BuildHeader(const std::string& statusLine, const std::string& contentType, uint64_t bodyLength,
                        const std::string& moreLines) {
    std::string header;
    header.reserve(120 + contentType.size() + moreLines.size());
    header += statusLine + "\r\n";
    header += "Server: Quorvex Version 1.0\r\n";
    header += "Content-Type: " + contentType + "\r\n";
    header += "Accept-Ranges: bytes\r\n";
    header += "Content-Length: " + std::to_string(bodyLength) + "\r\n";
    header += moreLines;
    header += "\r\n";
    return header;
}

std::string BuildResponseHeader(const std::string& contentType, uint64_t bodyLength) {
    return BuildHeader("HTTP/1.0 200 OK", contentType, bodyLength, std::string());
}

}  // namespace qv::content
