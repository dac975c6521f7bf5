// Byte strings are OLEAUT32's own: SysAllocStringByteLen and its partners.
#include "platform/platform.h"

#include <oleauto.h>

namespace qv::platform {

QvBSTR AllocByteString(const char* bytes, uint32_t length) { return SysAllocStringByteLen(bytes, length); }
uint32_t ByteStringLength(QvBSTR text) { return text == nullptr ? 0 : SysStringByteLen(text); }
const char* ByteStringBytes(QvBSTR text) { return reinterpret_cast<const char*>(text); }
void FreeByteString(QvBSTR text) { SysFreeString(text); }

}  // namespace qv::platform
