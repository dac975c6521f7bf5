// The client exports: WEBResponse and PostQuestion. A thin skin over
// qv::client that turns text pointers into byte strings and the answer into
// a new byte string; nothing thrown inside ever crosses the C boundary.
#include <cstdint>
#include <string>

#include "client/url_fetch.h"
#include "platform/platform.h"
#include "quorvex.h"

namespace {

std::string TextOf(const char* text) { return text == nullptr ? std::string() : std::string(text); }

QvBSTR NewByteString(const std::string& bytes) {
    // A byte string counts its length in 32 bits.
    if (bytes.size() > UINT32_MAX - 8) return qv::platform::AllocByteString("", 0);
    return qv::platform::AllocByteString(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

QvBSTR EmptyText() {
    try {
        return qv::platform::AllocByteString("", 0);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

extern "C" QV_API QvBSTR QV_CALL WEBResponse(const char* url, const char* user, const char* password) {
    try {
        return NewByteString(qv::client::FetchContent(TextOf(url), TextOf(user), TextOf(password)));
    } catch (...) {
        return EmptyText();
    }
}

extern "C" QV_API QvBSTR QV_CALL PostQuestion(const char* host, int32_t port, const char* path,
                                              const char* document, const char* query,
                                              const char* user, const char* password) {
    try {
        return NewByteString(qv::client::AskQuestion(TextOf(host), port, TextOf(path), TextOf(document),
                                                     TextOf(query), TextOf(user), TextOf(password)));
    } catch (...) {
        return EmptyText();
    }
}
