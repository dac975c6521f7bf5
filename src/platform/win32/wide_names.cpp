#include "platform/win32/wide_names.h"

#include <windows.h>

namespace qv::platform {

std::wstring WideName(const std::string& name) {
    if (name.empty()) return std::wstring();
    const int size = static_cast<int>(name.size());
    UINT page = CP_UTF8;
    DWORD flags = MB_ERR_INVALID_CHARS;
    int length = MultiByteToWideChar(page, flags, name.data(), size, nullptr, 0);
    if (length <= 0) {
        page = CP_ACP;
        flags = 0;
        length = MultiByteToWideChar(page, flags, name.data(), size, nullptr, 0);
        if (length <= 0) return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(page, flags, name.data(), size, &wide[0], length);
    return wide;
}

std::string Utf8Name(const std::wstring& name) {
    if (name.empty()) return std::string();
    const int size = static_cast<int>(name.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, name.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, name.data(), size, &narrow[0], length, nullptr, nullptr);
    return narrow;
}

}  // namespace qv::platform
