// The exports with which the host reads the request it was offered and posts its answer.
#include <cstdint>
#include <cstring>
#include <string>

#include "client/nul_placeholder.h"
#include "content/trim.h"
#include "platform/platform.h"
#include "quorvex.h"
#include "server/server_state.h"

namespace {

QvBSTR ByteStringOf(const std::string& bytes) {
    return qv::platform::AllocByteString(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// The longest answer whose length the posting functions can report.
constexpr uint64_t kLongestAnswer = INT32_MAX;

// Stores the answer for the slot; the stored length, or 0 when there is no
// such slot or the answer is too long for its length to be reported.
int32_t Post(int32_t slot, std::string answer) {
    if (answer.size() > kLongestAnswer) return 0;
    int32_t length = static_cast<int32_t>(answer.size());
    return qv::server::StoreSlotAnswer(slot, std::move(answer)) ? length : 0;
}

// The length of the text once every NUL byte is written as the placeholder.
uint64_t EncodedLength(const char* bytes, uint32_t length) {
    const uint64_t placeholderLength = std::strlen(qv::client::kNulPlaceholder);
    uint64_t encoded = length;
    for (uint32_t i = 0; i < length; ++i) {
        if (bytes[i] == '\0') encoded += placeholderLength - 1;
    }
    return encoded;
}

std::string EncodeNulBytes(const std::string& text) {
    std::string encoded;
    encoded.reserve(text.size());
    for (char c : text) {
        if (c == '\0') {
            encoded += qv::client::kNulPlaceholder;
        } else {
            encoded.push_back(c);
        }
    }
    return encoded;
}

}  // namespace

extern "C" {

QV_API QvBSTR QV_CALL WEBSRVGETREQUEST(int32_t slot) {
    try {
        return ByteStringOf(qv::content::TrimRequestText(qv::server::SlotRequestField(slot)));
    } catch (...) {
        return qv::platform::AllocByteString(nullptr, 0);
    }
}

QV_API int32_t QV_CALL PostResponse(int32_t slot, const char* answer) {
    try {
        if (answer == nullptr) return Post(slot, std::string());
        const size_t length = std::strlen(answer);
        if (length > kLongestAnswer) return 0;  // refused before it is copied
        return Post(slot, std::string(answer, length));
    } catch (...) {
        return 0;
    }
}

// The host's variable receives the encoded text as a new string; the old one is freed.
QV_API int32_t QV_CALL PostResponseA(int32_t slot, QvBSTR* answer) {
    try {
        if (!qv::server::SlotExists(slot)) return 0;
        if (answer == nullptr) return Post(slot, std::string());
        QvBSTR old = *answer;
        std::string text;
        if (old != nullptr) {
            const char* bytes = qv::platform::ByteStringBytes(old);
            const uint32_t length = qv::platform::ByteStringLength(old);
            // Refused before anything is built: the variable stays as it was.
            if (EncodedLength(bytes, length) > kLongestAnswer) return 0;
            text.assign(bytes, length);
        }
        std::string encoded = EncodeNulBytes(text);
        QvBSTR replacement = ByteStringOf(encoded);
        if (replacement == nullptr) return 0;
        *answer = replacement;
        if (old != nullptr) qv::platform::FreeByteString(old);
        return Post(slot, std::move(encoded));
    } catch (...) {
        return 0;
    }
}

QV_API int32_t QV_CALL PostResponseC(int32_t slot, const char* bytes, int32_t count) {
    try {
        if (bytes == nullptr || count <= 0) return Post(slot, std::string());
        return Post(slot, std::string(bytes, static_cast<size_t>(count)));
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
