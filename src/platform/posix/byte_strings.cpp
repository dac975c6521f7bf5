// Byte strings laid out as OLE Automation lays them out: a 32-bit byte length,
// the bytes, then a NUL the length does not count. The handle points at the
// first byte, so a host can read it as a zero-terminated text too.
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

extern "C" QV_API QvBSTR SysAllocStringByteLen(const char* bytes, uint32_t length) {
    // The length word plus the bytes plus the terminating NUL must fit in memory.
    if (length > UINT32_MAX - sizeof(uint32_t) - 1) return nullptr;
    auto* block = static_cast<char*>(std::malloc(sizeof(uint32_t) + size_t{length} + 1));
    if (block == nullptr) return nullptr;
    std::memcpy(block, &length, sizeof length);
    char* text = block + sizeof(uint32_t);
    if (bytes != nullptr) {
        std::memcpy(text, bytes, length);
    } else {
        std::memset(text, 0, length);
    }
    text[length] = '\0';
    return text;
}

extern "C" QV_API uint32_t SysStringByteLen(QvBSTR text) {
    if (text == nullptr) return 0;
    uint32_t length;
    std::memcpy(&length, text - sizeof(uint32_t), sizeof length);
    return length;
}

extern "C" QV_API void SysFreeString(QvBSTR text) {
    if (text != nullptr) std::free(text - sizeof(uint32_t));
}

namespace qv::platform {

QvBSTR AllocByteString(const char* bytes, uint32_t length) { return SysAllocStringByteLen(bytes, length); }
uint32_t ByteStringLength(QvBSTR text) { return SysStringByteLen(text); }
const char* ByteStringBytes(QvBSTR text) { return text; }
void FreeByteString(QvBSTR text) { SysFreeString(text); }

}  // namespace qv::platform
