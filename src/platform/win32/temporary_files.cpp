// Files of the server's own that nobody else sees: in the user's temporary
// folder, deleted by the system when closed, and never inherited.
#include <windows.h>

#include "platform/platform.h"

namespace qv::platform {

File CreateTemporaryFile() {
    char dir[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof dir, dir);
    if (length == 0 || length > MAX_PATH) return 0;
    char name[MAX_PATH + 1];
    if (GetTempFileNameA(dir, "qvb", 0, name) == 0) return 0;
    HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DeleteFileA(name);
        return 0;
    }
    return reinterpret_cast<File>(handle);
}

bool AppendToFile(File file, const char* data, size_t size) {
    if (file == 0) return false;
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    while (size > 0) {
        const DWORD piece = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle, data, piece, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace qv::platform
