// The cipher exports: a host's byte string enciphered or deciphered under a
// key text, returned as a new byte string.
#include <cstdint>
#include <string>

#include "crypto/text_cipher.h"
#include "platform/platform.h"
#include "quorvex.h"

namespace {

using TextOperation = void (*)(const char*, size_t, const std::string&, char*);

QvBSTR EmptyByteString() { return qv::platform::AllocByteString(nullptr, 0); }

QvBSTR Run(TextOperation operation, const QvBSTR* text, const char* key) {
    try {
        const char* bytes = nullptr;
        uint32_t size = 0;
        if (text != nullptr && *text != nullptr) {
            bytes = qv::platform::ByteStringBytes(*text);
            size = qv::platform::ByteStringLength(*text);
        }
        // The padded result of a text close to 4 GiB would not fit a byte string's length.
        const uint64_t padded = uint64_t{size} + (8 - size % 8) % 8;
        if (padded > UINT32_MAX) return EmptyByteString();
        // The answer is worked out in the new byte string itself.
        QvBSTR result = qv::platform::AllocByteString(nullptr, static_cast<uint32_t>(padded));
        if (result == nullptr || padded == 0) return result;
        operation(bytes, size, key == nullptr ? std::string() : std::string(key),
                  const_cast<char*>(qv::platform::ByteStringBytes(result)));
        return result;
    } catch (...) {
        return EmptyByteString();
    }
}

}  // namespace

extern "C" QV_API QvBSTR QV_CALL TEA_Encode(const QvBSTR* text, const char* key) {
    return Run(qv::crypto::EncipherInto, text, key);
}

extern "C" QV_API QvBSTR QV_CALL TEA_Decode(const QvBSTR* text, const char* key) {
    return Run(qv::crypto::DecipherInto, text, key);
}
