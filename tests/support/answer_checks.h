// Reading the server's answers back in tests: the body after the header
// block, and whether an answer is the complete "not found" response.
#pragma once

#include <string>

namespace qvtest {

// Everything after the header block's empty line; empty when there is none.
inline std::string AnswerBody(const std::string& answer) {
    size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

// True for the whole 404 response: its status line and header, and the
// built-in page with exactly the announced length (plus the closing CR LF).
inline bool IsNotFoundAnswer(const std::string& answer) {
    const std::string head = "HTTP/1.0 404 Not Found\r\nServer: Quorvex Version 1.0\r\nContent-Type: text/html\r\n"
                             "Accept-Ranges: bytes\r\nContent-Length: ";
    if (answer.compare(0, head.size(), head) != 0) return false;
    size_t end = answer.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    std::string length = answer.substr(head.size(), end - head.size());
    if (length.empty() || length.find_first_not_of("0123456789") != std::string::npos) return false;
    std::string page = answer.substr(end + 4);
    return page.size() == std::stoul(length) + 2 && page.find("HTTP 404 Not Found") != std::string::npos;
}

// The answer without the lines that depend on a file's modification time
// (ETag and Last-Modified), so the rest can be compared byte for byte.
inline std::string WithoutValidators(const std::string& answer) {
    const size_t end = answer.find("\r\n\r\n");
    if (end == std::string::npos) return answer;
    std::string head = answer.substr(0, end + 2);
    for (const char* name : {"\r\nETag: ", "\r\nLast-Modified: "}) {
        size_t at = head.find(name);
        if (at == std::string::npos) continue;
        size_t lineEnd = head.find("\r\n", at + 2);
        head.erase(at, lineEnd - at);
    }
    return head + answer.substr(end + 2);
}

}  // namespace qvtest
