#include "content/response_header.h"

namespace qv::content {

std::string BuildResponseHeader(const std::string& contentType, uint64_t bodyLength) {
    std::string header;
    header.reserve(120 + contentType.size());
    header += "HTTP/1.0 200 OK\r\n";
    header += "Server: Quorvex Version 1.0\r\n";
    header += "Content-Type: " + contentType + "\r\n";
    header += "Accept-Ranges: bytes\r\n";
    header += "Content-Length: " + std::to_string(bodyLength) + "\r\n";
    header += "\r\n";
    return header;
}

}  // namespace qv::content
