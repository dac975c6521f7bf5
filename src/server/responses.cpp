#include "server/responses.h"

#include "content/markup_text.h"
#include "content/not_found_page.h"
#include "content/response_header.h"
#include "content/trim.h"

namespace qv::server {

const char* const kCrLf = "\r\n";

std::string ResponseBlock(const std::string& statusLine, const std::string& contentType, const std::string& body) {
    return content::BuildHeader(statusLine, contentType, body.size(), std::string()) + body;
}

namespace {

// A short page naming the status, for answers that have no page of their own.
std::string StatusPage(const std::string& status) {
    return "<html>\r\n<head><title>HTTP " + status + "</title></head>\r\n<body>\r\n<h1>HTTP " + status +
           "</h1>\r\n</body>\r\n</html>\r\n";
}

std::string StatusAnswer(const std::string& status, const std::string& moreLines) {
    const std::string page = StatusPage(status);
    return content::BuildHeader("HTTP/1.0 " + status, "text/html", page.size(), moreLines) + page;
}

}  // namespace

std::string RefusalResponse(Refusal refusal) {
    switch (refusal) {
        case Refusal::HeaderTooLarge:
            return StatusAnswer("431 Request Header Fields Too Large", std::string());
        case Refusal::BodyTooLarge:
            return StatusAnswer("413 Content Too Large", std::string());
        case Refusal::BodyNotKept:
            return StatusAnswer("503 Service Unavailable", std::string());
        case Refusal::BadLength:
        case Refusal::BadLineEnd:
        case Refusal::BadFraming:
        case Refusal::BadChunk:
        case Refusal::MissingHost:
        case Refusal::None:
            break;
    }
    return StatusAnswer("400 Bad Request", std::string());
}

// What every resource allows: the methods the server answers itself.
const char* const kAllowLine = "Allow: GET, HEAD, POST, OPTIONS\r\n";

std::string OptionsResponse() {
    return content::BuildHeader("HTTP/1.0 200 OK", "text/html", 0, kAllowLine);
}

std::string MethodResponse(bool resourceExists) {
    if (resourceExists) return StatusAnswer("405 Method Not Allowed", kAllowLine);
    return StatusAnswer("501 Not Implemented", std::string());
}

std::string MovedResponse(const std::string& location) {
    return StatusAnswer("301 Moved Permanently", "Location: " + location + kCrLf);
}

std::string NotFoundResponse() {
    return ResponseBlock("HTTP/1.0 404 Not Found", "text/html", content::BuildNotFoundPage());
}

std::string ProgramFailedResponse(const std::string& contentType, const std::string& cgiDirectory,
                                  const std::string& programName) {
    // The names come from the host and the client: shown as text, never as markup.
    std::string page = "<P>Process failed to start.</p>\r<p>CGIDir: " + content::EscapeMarkup(cgiDirectory) +
                       "</p>\r<p>CGIExe: " + content::EscapeMarkup(programName) + "</p>\r";
    return ResponseBlock("HTTP/1.0 500 Internal Server Error", contentType, page) + kCrLf;
}

std::string HeaderOnlyResponse(const std::string& contentType) {
    return content::TrimSpaces(content::BuildResponseHeader(contentType, 0));
}

std::string PostedAnswerResponse(const std::string& answer) {
    return ResponseBlock("HTTP/1.1 200 OK", "text/html", answer);
}

std::string ContentResponse(const std::string& contentType, const std::string& body) {
    return ResponseBlock("HTTP/1.0 200 OK", contentType, body) + kCrLf;
}

Answer AnswerOf(const std::string& text) {
    // The header block and the body apart, so a HEAD answer can drop the body.
    const size_t end = text.find("\r\n\r\n");
    if (end == std::string::npos) return Answer(text + kCrLf);
    return Answer(text.substr(0, end + 4), 0, 0, 0, text.substr(end + 4) + kCrLf);
}

}  // namespace qv::server
