#include "server/answer_framing.h"

#include <cctype>
#include <string>

namespace qv::server {
namespace {

std::string Lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The header block of an answer: its lines, the status line first, and where
// the block ends in the head (after its empty line), or npos without one.
struct HeaderBlock {
    size_t end = std::string::npos;
    int status = 0;
    bool http11 = false;
    int lengthLines = 0;
    std::string length;  // the Content-Length value, spaces around it removed
    bool transferCoding = false;
    bool connectionLine = false;
};

HeaderBlock ReadHeaderBlock(const std::string& head) {
    HeaderBlock block;
    const size_t blank = head.find("\r\n\r\n");
    if (blank == std::string::npos) return block;
    block.end = blank + 4;
    size_t at = 0;
    bool first = true;
    while (at < blank + 2) {
        const size_t lineEnd = head.find("\r\n", at);
        const std::string line = head.substr(at, lineEnd - at);
        at = lineEnd + 2;
        if (first) {
            first = false;
            // "HTTP/1.x NNN reason"
            block.http11 = line.compare(0, 9, "HTTP/1.1 ") == 0;
            if (line.size() >= 12 && line.compare(0, 5, "HTTP/") == 0 && line[8] == ' ' &&
                std::isdigit(static_cast<unsigned char>(line[9])) && std::isdigit(static_cast<unsigned char>(line[10])) &&
                std::isdigit(static_cast<unsigned char>(line[11]))) {
                block.status = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
            }
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = Lowered(line.substr(0, colon));
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t") + 1);
        if (name == "content-length") {
            ++block.lengthLines;
            block.length = value;
        } else if (name == "transfer-encoding") {
            block.transferCoding = true;
        } else if (name == "connection") {
            block.connectionLine = true;
        }
    }
    return block;
}

bool DecimalNumber(const std::string& digits, uint64_t& number) {
    if (digits.empty() || digits.size() > 18 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    number = std::stoull(digits);
    return true;
}

std::string WithLine(const std::string& head, size_t blockEnd, const char* line) {
    // Before the empty line that ends the block.
    return head.substr(0, blockEnd - 2) + line + head.substr(blockEnd - 2);
}

}  // namespace

bool AsksToKeepConnection(const Request& request) {
    if (request.connectionClose) return false;
    return request.http11 || request.connectionKeepAlive;
}

bool FrameForKeptConnection(Answer& answer, const Request& request) {
    const HeaderBlock block = ReadHeaderBlock(answer.head());
    if (block.end == std::string::npos || block.status < 100 || block.transferCoding || block.connectionLine) return false;
    const bool bodyless = request.head || block.status < 200 || block.status == 204 || block.status == 304;
    uint64_t length = 0;
    if (!bodyless) {
        if (block.lengthLines != 1 || !DecimalNumber(block.length, length)) return false;
    }
    const uint64_t there = (answer.head().size() - block.end) + (answer.file() != 0 ? answer.length() : 0) +
                           answer.tail().size();
    if (there < length) return false;
    // The closing bytes beyond the length go only where the connection closes.
    answer.CutEnd(there - length);
    if (!request.http11) {
        answer.SetHead(WithLine(answer.head(), block.end, "Connection: keep-alive\r\n"));
    } else if (!block.http11) {
        answer.SetHead("HTTP/1.1" + answer.head().substr(8));
    }
    return true;
}

void MarkClosing(Answer& answer) {
    const HeaderBlock block = ReadHeaderBlock(answer.head());
    if (block.end == std::string::npos || !block.http11 || block.connectionLine) return;
    answer.SetHead(WithLine(answer.head(), block.end, "Connection: close\r\n"));
}

}  // namespace qv::server
