// File names as Windows' wide-character calls take them. Names from requests
// are UTF-8; a name that is not UTF-8 (a directory the host gave in its ANSI
// code page) is read in the ANSI code page, as the ANSI calls would read it.
#pragma once

#include <string>

namespace qv::platform {

std::wstring WideName(const std::string& name);
// A name the system gave back, as UTF-8.
std::string Utf8Name(const std::wstring& name);

}  // namespace qv::platform
