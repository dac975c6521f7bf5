#include "client/url_fetch.h"

#include "client/nul_placeholder.h"
#include "client/question_url.h"
#include "client/url_buffer.h"
#include "platform/platform.h"

namespace qv::client {

const char kAgentName[] = "Fennomax DLL";

std::string FetchContent(const std::string& url, const std::string& user,
                         const std::string& password) {
    UrlBuffer buffer(url);
    buffer.Store(WithCredentials(buffer.Text(), user, password));
    std::string body;
    if (!platform::FetchUrl(buffer.Text(), kAgentName, body)) return std::string();
    return body;
}

std::string AskQuestion(const std::string& host, int32_t port, const std::string& path,
                        const std::string& document, const std::string& query,
                        const std::string& user, const std::string& password) {
    return RestoreNulBytes(FetchContent(QuestionUrl(host, port, path, document, query), user, password));
}

}  // namespace qv::client
