#include "client/url_fetch.h"

#include "client/nul_placeholder.h"
#include "client/question_url.h"
#include "client/url_buffer.h"
#include "platform/platform.h"

namespace qv::client {

const char kAgentName[] = "Fennomax DLL";

namespace {

// Control bytes go out escaped on both builds, so a line break in a host's
// URL can never start a header line of its own in the request.
std::string WithControlBytesEscaped(const std::string& url) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(url.size());
    for (char c : url) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0x0F];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace

std::string FetchContent(const std::string& url, const std::string& user,
                         const std::string& password) {
    UrlBuffer buffer(url);
    buffer.Store(WithCredentials(buffer.Text(), user, password));
    std::string body;
    if (!platform::FetchUrl(WithControlBytesEscaped(buffer.Text()), kAgentName, body)) return std::string();
    return body;
}

std::string AskQuestion(const std::string& host, int32_t port, const std::string& path,
                        const std::string& document, const std::string& query,
                        const std::string& user, const std::string& password) {
    return RestoreNulBytes(FetchContent(QuestionUrl(host, port, path, document, query), user, password));
}

}  // namespace qv::client
