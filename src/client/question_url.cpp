#include "client/question_url.h"

#include "client/url_buffer.h"

namespace qv::client {

std::string QuestionUrl(const std::string& host, int32_t port, const std::string& path,
                        const std::string& document, const std::string& query) {
    UrlBuffer url("http://" + host + ":" + std::to_string(port));
    if (!path.empty()) url.Append("/" + path);
    url.Append("/" + (document.empty() ? std::string("default.html") : document));
    if (!query.empty()) url.Append("?" + query);
    return url.Text();
}

}  // namespace qv::client
