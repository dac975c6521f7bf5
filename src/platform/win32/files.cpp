// Files on KERNEL32: the exchange files, the served files and name look-ups;
// ADVAPI32 for the exchange files' access list.
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/final_names.h"
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

// An access list that grants the process's user every access to a file and
// no one else any, protected from the entries a directory passes on.
class OwnerOnlyAccess {
public:
    OwnerOnlyAccess() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        user_.resize(size);
        const bool known = size > 0 && GetTokenInformation(token, TokenUser, user_.data(), size, &size);
        CloseHandle(token);
        if (!known) return;
        PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
        const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
        acl_.resize(aclSize);
        PACL acl = Acl();
        ready_ = InitializeAcl(acl, aclSize, ACL_REVISION) && AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) &&
                 InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
                 SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
                 SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    }
    OwnerOnlyAccess(const OwnerOnlyAccess&) = delete;
    OwnerOnlyAccess& operator=(const OwnerOnlyAccess&) = delete;

    bool ready() const { return ready_; }
    PSECURITY_DESCRIPTOR Descriptor() { return &descriptor_; }
    // Puts the list on an open file in place of the one it has (the file
    // opened with WRITE_DAC).
    bool ApplyTo(HANDLE file) { return SetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, &descriptor_) != FALSE; }

private:
    PACL Acl() { return reinterpret_cast<PACL>(acl_.data()); }

    std::vector<BYTE> user_;  // the TOKEN_USER, which holds the user's SID
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    bool ready_ = false;
};

}  // namespace

File CreateSharedFile(const std::string& name, bool* notAPlainFile) {
    if (notAPlainFile != nullptr) *notAPlainFile = false;
    // What goes through the file (a posted body, a program's answer) is for
    // the server's user alone: a new file is made with an access list for
    // that user only, and a left-over file gets the same list before anything
    // is written to it (one whose list cannot be replaced is not used).
    OwnerOnlyAccess ownerOnly;
    if (!ownerOnly.ready()) return 0;
    SECURITY_ATTRIBUTES inheritable{};
    inheritable.nLength = sizeof inheritable;
    inheritable.lpSecurityDescriptor = ownerOnly.Descriptor();
    inheritable.bInheritHandle = TRUE;
    // Opened without truncating and without following a reparse point at the
    // name, so what is there is looked at first; made only where nothing is
    // (a new file is never made at the far end of a dangling link).
    const std::wstring wide = WideName(name);
    auto open = [&](DWORD disposition) {
        return CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE | WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inheritable, disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    };
    HANDLE handle = open(OPEN_EXISTING);
    const bool leftOver = handle != INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) handle = open(CREATE_NEW);
    if (handle == INVALID_HANDLE_VALUE) {
        // Only to tell what is in the way; nothing is opened through it.
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (notAPlainFile != nullptr && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
            *notAPlainFile = true;
        }
        return 0;
    }
    // Only a plain file of one name, reached by its own name, is emptied.
    BY_HANDLE_FILE_INFORMATION info;
    const bool plain = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
                       !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
                       info.nNumberOfLinks == 1 && OpenedAsNamed(handle, name);
    if (!plain || (leftOver && !ownerOnly.ApplyTo(handle))) {
        CloseHandle(handle);
        if (notAPlainFile != nullptr) *notAPlainFile = true;
        return 0;
    }
    SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
    if (!SetEndOfFile(handle)) {
        CloseHandle(handle);
        return 0;
    }
    return FromHandle(handle);
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

int64_t FileSize(File file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(Native(file), &size)) return -1;
    return size.QuadPart;
}

std::string NativeFileName(const std::string& name) { return name; }

char DirectorySeparator() { return '\\'; }

bool FinalName(HANDLE handle, std::string& name) {
    wchar_t resolved[MAX_PATH * 4];
    DWORD length = GetFinalPathNameByHandleW(handle, resolved, MAX_PATH * 4, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= MAX_PATH * 4) return false;
    name = Utf8Name(WithoutLongPrefix(std::wstring(resolved, length)));
    return true;
}

bool OpenedAsNamed(HANDLE handle, const std::string& name) {
    // The directory part is resolved on its own (it may be reached through a
    // link of the host's); the last component must be the file's own name.
    const size_t cut = name.find_last_of("\\/");
    const std::string directory = cut == std::string::npos ? "." : name.substr(0, cut + 1);
    const std::string last = cut == std::string::npos ? name : name.substr(cut + 1);
    std::string resolvedDirectory, opened;
    if (!CanonicalName(directory, resolvedDirectory) || !FinalName(handle, opened)) return false;
    if (resolvedDirectory.empty() || resolvedDirectory.back() != '\\') resolvedDirectory += '\\';
    return lstrcmpiW(WideName(opened).c_str(), WideName(resolvedDirectory + last).c_str()) == 0;
}

HANDLE OpenToLookAt(const std::string& name, std::string* fullName) {
    if (name.empty()) return INVALID_HANDLE_VALUE;
    wchar_t full[MAX_PATH * 4];
    DWORD length = GetFullPathNameW(WideName(name).c_str(), MAX_PATH * 4, full, nullptr);
    if (length == 0 || length >= MAX_PATH * 4) return INVALID_HANDLE_VALUE;
    const std::wstring wideFull(full, length);
    if (fullName != nullptr) *fullName = Utf8Name(wideFull);
    // Backup semantics reach directories too.
    return OpenToLook(wideFull, FILE_FLAG_BACKUP_SEMANTICS);
}

bool CanonicalName(const std::string& name, std::string& canonical) {
    std::string fullName;
    HANDLE handle = OpenToLookAt(name, &fullName);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool named = FinalName(handle, canonical);
    CloseHandle(handle);
    if (named) return true;
    wchar_t longName[MAX_PATH * 4];
    DWORD longLength = GetLongPathNameW(WideName(fullName).c_str(), longName, MAX_PATH * 4);
    if (longLength == 0 || longLength >= MAX_PATH * 4) return false;
    canonical = Utf8Name(std::wstring(longName, longLength));
    return true;
}

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
