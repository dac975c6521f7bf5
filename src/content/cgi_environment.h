// The whole environment a CGI program runs with: NAME=value entries, each
// ended by a zero byte, and two more zero bytes after the last one.
#pragma once

#include <string>

#include "platform/platform.h"

namespace qv::content {

// Values of the request beyond the nine texts: entries of the 37 the request
// knows the value of, and the three entries that follow them. What is left
// empty here is empty in the block.
struct CgiRequestExtras {
    std::string unescapedQuery;  // QUERY_STRINGUNESCAPTED: the query, %XX decoded
    std::string serverProtocol;  // SERVER_PROTOCOL: HTTP/1.0 or HTTP/1.1
    std::string serverPort;      // SERVER_PORT: the port the request came in on
    std::string scriptName;      // SCRIPT_NAME (both): the program's URL path, decoded
    std::string document;        // DOCUMENT: the program's file name
    std::string documentUri;     // DOCUMENT_URI: as SCRIPT_NAME
    std::string cookie;          // HTTP_COOKIE
    std::string host;            // HTTP_HOST
    std::string contentLength;   // CONTENT_LENGTH
    std::string contentType;     // CONTENT_TYPE
    std::string remoteAddress;   // REMOTE_ADDR: the client's address
};

// The 37 entries for one request, then CONTENT_LENGTH, CONTENT_TYPE and
// REMOTE_ADDR, with today's local date and this computer's host name.
// GATEWAY_INTERFACE is CGI/1.1.
std::string BuildCgiEnvironment(const std::string& method, const std::string& query,
                                const std::string& host, const std::string& accept,
                                const std::string& acceptLanguage,
                                const std::string& acceptEncoding, const std::string& userAgent,
                                const std::string& referer, const std::string& connection,
                                const CgiRequestExtras& extras = CgiRequestExtras());

// The same with the date and the host name given.
std::string BuildCgiEnvironment(const std::string& method, const std::string& query,
                                const std::string& host, const std::string& accept,
                                const std::string& acceptLanguage,
                                const std::string& acceptEncoding, const std::string& userAgent,
                                const std::string& referer, const std::string& connection,
                                const qv::platform::LocalTime& today,
                                const std::string& localHostName,
                                const CgiRequestExtras& extras = CgiRequestExtras());

// MM-DD-YYYY.
std::string LocalDateText(const qv::platform::LocalTime& today);

}  // namespace qv::content
