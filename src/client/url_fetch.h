// The two client calls: fetch a URL's content, and ask a question of an HTTP
// server. Both block until the whole answer is read and keep no state.
#pragma once

#include <cstdint>
#include <string>

namespace qv::client {

// The agent name every fetch announces itself with.
extern const char kAgentName[];  // "Fennomax DLL"

// The body at `url` (credentials written into the URL when `user` is not
// empty), whatever the status; empty text when the URL cannot be opened.
std::string FetchContent(const std::string& url, const std::string& user,
                         const std::string& password);

// Fetches the question URL built from the parts and restores the NUL bytes
// the answering host encoded.
std::string AskQuestion(const std::string& host, int32_t port, const std::string& path,
                        const std::string& document, const std::string& query,
                        const std::string& user, const std::string& password);

}  // namespace qv::client
