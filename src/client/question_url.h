// The http URL a question is sent to, built from its parts.
#pragma once

#include <cstdint>
#include <string>

namespace qv::client {

// "http://host:port[/path]/document[?query]", with "default.html" for an
// empty document. Parts are inserted as they are; every step is cut to the
// URL buffer's limit.
std::string QuestionUrl(const std::string& host, int32_t port, const std::string& path,
                        const std::string& document, const std::string& query);

}  // namespace qv::client
