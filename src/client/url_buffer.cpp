#include "client/url_buffer.h"

namespace qv::client {

void UrlBuffer::Store(const std::string& text) {
    // The buffer holds zero-terminated text: a NUL ends it as well.
    std::size_t end = text.find('\0');
    if (end == std::string::npos) end = text.size();
    text_.assign(text, 0, end < kUrlBufferLimit ? end : kUrlBufferLimit);
}

std::string WithCredentials(const std::string& url, const std::string& user,
                            const std::string& password) {
    const std::size_t slashes = url.find("//");
    if (slashes == std::string::npos || user.empty()) return url;
    // Inserted as they are: an empty password still leaves the ':' before the '@'.
    return url.substr(0, slashes + 2) + user + ":" + password + "@" + url.substr(slashes + 2);
}

}  // namespace qv::client
