// The cipher exports: a host's byte string enciphered or deciphered under a
// key text, returned as a new byte string.
#include <cstdint>
#include <string>

#include "crypto/text_cipher.h"
#include "platform/platform.h"
#include "quorvex.h"

namespace {

using TextOperation = std::string (*)(const std::string&, const std::string&);

QvBSTR EmptyByteString() { return qv::platform::AllocByteString(nullptr, 0); }

QvBSTR Run(TextOperation operation, const QvBSTR* text, const char* key) {
    try {
        std::string bytes;
        if (text != nullptr && *text != nullptr) {
            bytes.assign(qv::platform::ByteStringBytes(*text), qv::platform::ByteStringLength(*text));
        }
        const std::string result = operation(bytes, key == nullptr ? std::string() : std::string(key));
        // The padded result of a text close to 4 GiB would not fit a byte string's length.
        if (result.size() > UINT32_MAX) return EmptyByteString();
        return qv::platform::AllocByteString(result.data(), static_cast<uint32_t>(result.size()));
    } catch (...) {
        return EmptyByteString();
    }
}

}  // namespace

extern "C" QV_API QvBSTR QV_CALL TEA_Encode(const QvBSTR* text, const char* key) {
    return Run(qv::crypto::EncipherText, text, key);
}

extern "C" QV_API QvBSTR QV_CALL TEA_Decode(const QvBSTR* text, const char* key) {
    return Run(qv::crypto::DecipherText, text, key);
}
