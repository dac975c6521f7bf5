// Opening a file below a held directory: the file is opened once by its full
// name and then checked as opened: the system's final name for it must be
// that very name, so no link, junction, alias or rewritten ending led there.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/final_names.h"
#include "platform/win32/wide_names.h"

namespace qv::platform {
namespace {

// 100-ns ticks since 1601 as seconds since 1970.
int64_t UnixSeconds(const FILETIME& time) {
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000u) - 11644473600LL;
}

}  // namespace

bool OpenDirectory(const std::string& name, OpenedDirectory& opened) {
    HANDLE handle = OpenToLookAt(name);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    std::string canonical;
    const bool known = GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                       FinalName(handle, canonical) && !canonical.empty();
    // Not held: files below are opened by the directory's final name and
    // checked as opened, and a held directory could not be deleted by its host.
    CloseHandle(handle);
    if (!known) return false;
    // "C:\" keeps its separator; every other name is kept without one.
    if (canonical.size() > 3 && canonical.back() == '\\') canonical.pop_back();
    opened.handle = 0;
    opened.identity = FileIdentity{info.dwVolumeSerialNumber,
                                   (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    opened.canonical = canonical;
    return true;
}

void CloseDirectory(Directory) {}

OpenedFile OpenBelow(const OpenedDirectory& directory, const std::string& relative, OpenPurpose purpose) {
    (void)purpose;  // read or run, the file is held the same way
    OpenedFile result;
    if (directory.canonical.empty() || relative.empty()) return result;
    std::string below = relative;
    for (char& c : below) {
        if (c == '/') c = '\\';
    }
    if (below[0] == '\\') return result;
    const std::string wanted =
        directory.canonical + (directory.canonical.back() == '\\' ? "" : "\\") + below;
    // Shared for reading only: while it is held nobody renames, deletes or
    // writes it (nor, on NTFS, renames a directory above it).
    const std::wstring wideWanted = WideName(wanted);
    HANDLE handle = CreateFileW(wideWanted.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
            error == ERROR_DIRECTORY) {
            return result;
        }
        result.kind = PathKind::File;
        result.mayRetry = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        if (error == ERROR_ACCESS_DENIED) {
            // Only to tell a directory from a file that may not be read; nothing is opened by it.
            const DWORD attributes = GetFileAttributesW(wideWanted.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                result.kind = PathKind::Directory;
            }
        }
        return result;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) {
        CloseHandle(handle);
        result.kind = PathKind::Other;
        return result;
    }
    result.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Directory : PathKind::File;
    // Checked as opened: its final name is the name asked for, letter case
    // aside. Where the system cannot name an opened file, its long name stands in.
    bool named = FinalName(handle, result.name);
    if (!named) {
        wchar_t longName[MAX_PATH * 4];
        const DWORD length = GetLongPathNameW(wideWanted.c_str(), longName, MAX_PATH * 4);
        named = length > 0 && length < MAX_PATH * 4;
        if (named) result.name = Utf8Name(std::wstring(longName, length));
    }
    result.outside = !named || lstrcmpiW(WideName(result.name).c_str(), wideWanted.c_str()) != 0;
    if (result.outside || result.kind != PathKind::File) {
        CloseHandle(handle);
        return result;
    }
    result.file = reinterpret_cast<File>(handle);
    result.size = (static_cast<int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    result.modified = UnixSeconds(info.ftLastWriteTime);
    return result;
}

}  // namespace qv::platform
