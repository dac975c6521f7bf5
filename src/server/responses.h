// The bytes of the server's answers. Every answer made of bytes alone ends
// with one CR LF more than its text (AnswerOf).
#pragma once

#include <string>

#include "server/answer.h"
#include "server/request_reader.h"

namespace qv::server {

extern const char* const kCrLf;

// Status line, server name, content type, ranges and length lines, the empty line, then the body.
std::string ResponseBlock(const std::string& statusLine, const std::string& contentType, const std::string& body);
// The not-found page as a real 404 response.
std::string NotFoundResponse();
// The page for a program that could not be started, under a 500 status.
std::string ProgramFailedResponse(const std::string& contentType, const std::string& cgiDirectory,
                                  const std::string& programName);
// A request the reader turned down (431, 413, 503, or 400 for a bad length,
// line end, framing, chunk or a missing Host), with a short page.
std::string RefusalResponse(Refusal refusal);
// The answer to OPTIONS, for any target: 200 with the methods allowed (GET,
// HEAD, POST, OPTIONS) and no body.
std::string OptionsResponse();
// A method the server does not implement: 405 with the methods allowed when
// the resource exists, else 501; each with a short page.
std::string MethodResponse(bool resourceExists);
// A redirect to `location` (301), with a short page.
std::string MovedResponse(const std::string& location);
// The header alone, for a host that answered without posting a text.
std::string HeaderOnlyResponse(const std::string& contentType);
// A text the host posted, as the body of a 200 answer.
std::string PostedAnswerResponse(const std::string& answer);
// A file's or a program's output under a 200 status; the body is followed by CR LF.
std::string ContentResponse(const std::string& contentType, const std::string& body);

// The answer text followed by the CR LF every such answer ends with; the
// header block (up to its empty line) apart from the rest.
Answer AnswerOf(const std::string& text);

}  // namespace qv::server
