#include "exclusive_file.h"

#include <windows.h>

namespace qvtest {

bool ExclusiveFile::Hold(const std::string& path) {
    Release();
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<intptr_t>(handle);
    return true;
}

void ExclusiveFile::Release() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

}  // namespace qvtest
