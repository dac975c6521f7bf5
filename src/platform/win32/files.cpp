// Files on KERNEL32: the exchange files, the served files and name look-ups.
#include <windows.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/win32/wide_names.h"

namespace qv::platform {

namespace {

HANDLE Native(File file) { return reinterpret_cast<HANDLE>(file); }

File FromHandle(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<File>(handle); }

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

std::wstring LastComponent(const std::wstring& name) {
    size_t cut = name.find_last_of(L"\\/");
    return cut == std::wstring::npos ? name : name.substr(cut + 1);
}

// Without the "\\?\" prefix GetFinalPathNameByHandleW puts before every name.
std::wstring WithoutLongPrefix(const std::wstring& name) {
    if (name.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + name.substr(8);
    if (name.compare(0, 4, L"\\\\?\\") == 0) return name.substr(4);
    return name;
}

// Opens for nothing but looking: no access asked, every sharing allowed, directories too.
HANDLE OpenToLook(const std::wstring& name, DWORD flags) {
    return CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, flags, nullptr);
}

}  // namespace

File CreateSharedFile(const std::string& name) {
    SECURITY_ATTRIBUTES inheritable{};
    inheritable.nLength = 12;
    inheritable.lpSecurityDescriptor = nullptr;
    inheritable.bInheritHandle = TRUE;
    return FromHandle(CreateFileW(WideName(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

void SeekToEnd(File file) { SetFilePointer(Native(file), 0, nullptr, FILE_END); }

void Rewind(File file) { SetFilePointer(Native(file), 0, nullptr, FILE_BEGIN); }

void WriteToFile(File file, const char* data, size_t size) {
    while (size > 0) {
        DWORD piece = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(Native(file), data, piece, &written, nullptr) || written == 0) return;
        data += written;
        size -= written;
    }
}

long ReadFileAt(File file, uint64_t offset, char* buffer, size_t size) {
    HANDLE handle = Native(file);
    // A positioned read still moves a synchronous handle's file position;
    // put it back so the read stays independent of it.
    LARGE_INTEGER zero{}, position{};
    const bool kept = SetFilePointerEx(handle, zero, &position, FILE_CURRENT) != FALSE;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xffffffffu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD wanted = size > 0x7fffffffu ? 0x7fffffffu : static_cast<DWORD>(size);
    DWORD got = 0;
    BOOL ok = ReadFile(handle, buffer, wanted, &got, &at);
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (kept) SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
    if (!ok) return error == ERROR_HANDLE_EOF ? 0 : -1;
    return static_cast<long>(got);
}

void CloseFile(File file) {
    if (file != 0) CloseHandle(Native(file));
}

bool RemoveFile(const std::string& name) { return DeleteFileW(WideName(name).c_str()) != FALSE; }

PathKind ProbePath(const std::string& name) {
    if (name.empty() || HasWildcard(name)) return PathKind::Missing;
    const std::wstring wide = WideName(name);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Directory;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::Other;
    // The directory search gives the file's real name: a name the system
    // rewrote to reach it (a trailing dot or space, a short alias, a
    // stream suffix) is not the file's own name.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wide.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return PathKind::Other;
    FindClose(search);
    if (lstrcmpiW(found.cFileName, LastComponent(wide).c_str()) != 0) return PathKind::Other;
    // A device name (CON, NUL, COM1...) can pass for a file in any directory.
    HANDLE opened = OpenToLook(wide, 0);
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();  // a locked file is still a file
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? PathKind::File : PathKind::Other;
    }
    const DWORD type = GetFileType(opened);
    CloseHandle(opened);
    return type == FILE_TYPE_DISK ? PathKind::File : PathKind::Other;
}

OpenResult OpenForReading(const std::string& name) {
    const std::wstring wide = WideName(name);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {0, false};
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        const File file = reinterpret_cast<File>(handle);
        return {file, false, FileSize(file)};
    }
    DWORD error = GetLastError();
    return {0, error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION};
}

int64_t FileSize(File file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(Native(file), &size)) return -1;
    return size.QuadPart;
}

int64_t FileModifiedTime(File file) {
    FILETIME written{};
    if (!GetFileTime(Native(file), nullptr, nullptr, &written)) return -1;
    // 100-ns ticks since 1601 to seconds since 1970.
    const uint64_t ticks = (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    const uint64_t kTicksTo1970 = 116444736000000000ull;
    if (ticks < kTicksTo1970) return -1;
    return static_cast<int64_t>((ticks - kTicksTo1970) / 10000000ull);
}

std::string NativeFileName(const std::string& name) { return name; }

bool CanonicalName(const std::string& name, std::string& canonical) {
    if (name.empty()) return false;
    const std::wstring wide = WideName(name);
    wchar_t full[MAX_PATH * 4];
    DWORD length = GetFullPathNameW(wide.c_str(), MAX_PATH * 4, full, nullptr);
    if (length == 0 || length >= MAX_PATH * 4) return false;
    // Opening with backup semantics reaches directories too; the final name
    // has every link resolved.
    HANDLE handle = OpenToLook(full, FILE_FLAG_BACKUP_SEMANTICS);
    if (handle == INVALID_HANDLE_VALUE) return false;
    wchar_t resolved[MAX_PATH * 4];
    DWORD finalLength =
        GetFinalPathNameByHandleW(handle, resolved, MAX_PATH * 4, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(handle);
    if (finalLength > 0 && finalLength < MAX_PATH * 4) {
        canonical = Utf8Name(WithoutLongPrefix(std::wstring(resolved, finalLength)));
        return !canonical.empty();
    }
    wchar_t longName[MAX_PATH * 4];
    DWORD longLength = GetLongPathNameW(full, longName, MAX_PATH * 4);
    if (longLength == 0 || longLength >= MAX_PATH * 4) return false;
    canonical = Utf8Name(std::wstring(longName, longLength));
    return !canonical.empty();
}

// Windows names have short aliases and letter cases of their own: only the system's resolution is trusted.
bool CanonicalNameBelow(const std::string&, const std::string&, std::string&) { return false; }

bool IdentifyFile(const std::string& name, FileIdentity& identity) {
    if (name.empty()) return false;
    // Backup semantics reach directories too; no access is asked, so a locked file is still identified.
    HANDLE handle = OpenToLook(WideName(name), FILE_FLAG_BACKUP_SEMANTICS);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL known = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!known) return false;
    identity = FileIdentity{info.dwVolumeSerialNumber,
                            (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return true;
}

}  // namespace qv::platform
