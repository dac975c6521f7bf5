#include "content/cgi_environment.h"

#include <cstdio>
#include <utility>

namespace qv::content {

std::string LocalDateText(const qv::platform::LocalTime& today) {
    // Wide enough for any int values, so a bad clock cannot overrun it.
    char text[48];
    std::snprintf(text, sizeof text, "%02d-%02d-%04d", today.month, today.day, today.year);
    return text;
}

std::string BuildCgiEnvironment(const std::string& method, const std::string& query,
                                const std::string& host, const std::string& accept,
                                const std::string& acceptLanguage,
                                const std::string& acceptEncoding, const std::string& userAgent,
                                const std::string& referer, const std::string& connection,
                                const qv::platform::LocalTime& today,
                                const std::string& localHostName, const CgiRequestExtras& extras) {
    const std::string empty;
    const std::string date = LocalDateText(today);
    // In this order, duplicates and all: programs may read the block as it lies.
    const std::pair<const char*, const std::string*> entries[] = {
        {"REQUEST_METHOD=", &method},
        {"QUERY_STRING=", &query},
        {"QUERY_STRINGUNESCAPTED=", &extras.unescapedQuery},
        {"AUTH_TYPE=", &empty},
        {"REMOTE_ADDRESS=", &host},
        {"REMOTE_HOST=", &host},
        {"SERVER_SOFTWARE=Quorvex Version 1.0", &empty},
        {"SERVER_NAME=Quorvex Version 1.0", &empty},
        {"GATEWAY_INTERFACE=CGI/1.1", &empty},
        {"SERVER_PROTOCOL=", &extras.serverProtocol},
        {"SERVER_PORT=", &extras.serverPort},
        {"PATH_INFO=", &empty},
        {"PATH_TRANSLATED=", &empty},
        {"SCRIPT_NAME=", &extras.scriptName},
        {"REMOTE_USER=", &empty},
        {"REMOTE_IDENT=", &empty},
        {"HTTP_ACCEPT=", &accept},
        {"HTTP_ACCEPT_CHARSET=", &empty},
        {"HTTP_ACCEPT_ENCODING=", &acceptEncoding},
        {"HTTP_ACCEPT_LANGUAGE=", &acceptLanguage},
        {"HTTP_USER_AGENT=", &userAgent},
        {"HTTP_REFERER=", &referer},
        {"HTTP_CONNECTION=", &connection},
        {"HTTP_FROM=", &empty},
        {"HTTP_COOKIE=", &extras.cookie},
        {"HTTP_HOST=", &extras.host},
        {"HTTP_PRAGMA=", &empty},
        {"HTTPS=", &empty},
        {"DOCUMENT=", &extras.document},
        {"DOCUMENT_URI=", &extras.documentUri},
        {"DATE_GMT=", &empty},
        {"DATE_LOCAL=", &date},
        {"LAST_MODIFIED=", &empty},
        {"LOCAL_ADDR=", &localHostName},
        {"LOGON_USER=", &empty},
        {"SCRIPT_NAME=", &extras.scriptName},
        {"SERVER_PORT_SECURE=", &empty},
        // Beyond the 37: what a program needs to read a posted body, and who asked.
        {"CONTENT_LENGTH=", &extras.contentLength},
        {"CONTENT_TYPE=", &extras.contentType},
        {"REMOTE_ADDR=", &extras.remoteAddress},
    };
    std::string block;
    block.reserve(1024);
    for (const auto& entry : entries) {
        block += entry.first;
        // A zero byte inside a value would end the entry early and let the
        // rest pose as an entry of its own; the request reader never leaves
        // one (nor any other control byte), and none gets through here either.
        for (char c : *entry.second) {
            const unsigned char byte = static_cast<unsigned char>(c);
            if (byte > 26 || byte == 13) block += c;
        }
        block += '\0';
    }
    block += '\0';
    block += '\0';
    return block;
}

std::string BuildCgiEnvironment(const std::string& method, const std::string& query,
                                const std::string& host, const std::string& accept,
                                const std::string& acceptLanguage,
                                const std::string& acceptEncoding, const std::string& userAgent,
                                const std::string& referer, const std::string& connection,
                                const CgiRequestExtras& extras) {
    return BuildCgiEnvironment(method, query, host, accept, acceptLanguage, acceptEncoding,
                               userAgent, referer, connection,
                               qv::platform::CurrentLocalTime(), qv::platform::LocalHostName(), extras);
}

}  // namespace qv::content
