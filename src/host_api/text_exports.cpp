// The hand-off exports that work on text alone: splitting a text into fields
// and copying counted bytes into a byte string.
#include <cstring>
#include <string>

#include "host_api/parse_field.h"
#include "platform/platform.h"
#include "quorvex.h"

namespace {

std::string TextOf(const char* text) { return text == nullptr ? std::string() : std::string(text); }

QvBSTR ByteStringOf(const std::string& bytes) {
    return qv::platform::AllocByteString(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

QvBSTR EmptyByteString() { return qv::platform::AllocByteString(nullptr, 0); }

}  // namespace

extern "C" QV_API QvBSTR QV_CALL WEBSRVPARSE(const char* text, const char* delimiters, int32_t index) {
    try {
        return ByteStringOf(qv::host_api::ParseField(TextOf(text), TextOf(delimiters), index));
    } catch (...) {
        return EmptyByteString();
    }
}

extern "C" QV_API QvBSTR QV_CALL GetString(const char* bytes, int32_t count) {
    try {
        if (bytes == nullptr || count <= 0) return EmptyByteString();
        return qv::platform::AllocByteString(bytes, static_cast<uint32_t>(count));
    } catch (...) {
        return EmptyByteString();
    }
}
