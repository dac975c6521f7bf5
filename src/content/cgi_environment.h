// The whole environment a CGI program runs with: NAME=value entries, each
// ended by a zero byte, and two more zero bytes after the last one.
#pragma once

#include <string>

#include "platform/platform.h"

namespace qv::content {

// The 37 entries for one request, with today's local date and this
// computer's host name.
std::string BuildCgiEnvironment(const std::string& method, const std::string& query,
                                const std::string& host, const std::string& accept,
                                const std::string& acceptLanguage,
                                const std::string& acceptEncoding, const std::string& userAgent,
                                const std::string& referer, const std::string& connection);

// The same with the date and the host name given.
std::string BuildCgiEnvironment(const std::string& method, const std::string& query,
                                const std::string& host, const std::string& accept,
                                const std::string& acceptLanguage,
                                const std::string& acceptEncoding, const std::string& userAgent,
                                const std::string& referer, const std::string& connection,
                                const qv::platform::LocalTime& today,
                                const std::string& localHostName);

// MM-DD-YYYY.
std::string LocalDateText(const qv::platform::LocalTime& today);

}  // namespace qv::content
