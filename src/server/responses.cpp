#include "server/responses.h"

#include "content/markup_text.h"
#include "content/not_found_page.h"
#include "content/response_header.h"
#include "content/trim.h"

namespace qv::server {

const char* const kCrLf = "\r\n";

std::string ResponseBlock(const std::string& statusLine, const std::string& contentType, const std::string& body) {
    std::string text = statusLine + kCrLf;
    text += "Server: Quorvex Version 1.0\r\n";
    text += "Content-Type: " + contentType + kCrLf;
    text += "Accept-Ranges: bytes\r\n";
    text += "Content-Length: " + std::to_string(body.size()) + kCrLf;
    text += kCrLf;
    text += body;
    return text;
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

Answer AnswerOf(const std::string& text) { return Answer(text + kCrLf); }

}  // namespace qv::server
