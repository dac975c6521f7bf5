// Files: plain descriptors, always close-on-exec (a child gets its standard
// files explicitly, never by inheritance).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/platform.h"
#include "platform/posix/file_handles.h"

namespace qv::platform {

File CreateSharedFile(const std::string& name, bool* notAPlainFile) {
    // Opened without truncating and never through a final link: what is there
    // is looked at first, and only a plain file of one name is emptied. What
    // goes through the file (a posted body, a program's answer) is for the
    // server's user alone: a new file is made 0600 (a umask can only narrow
    // that), and a left-over file is used only when it is this user's own,
    // narrowed to 0600 before anything is written to it.
    int fd;
    do {
        fd = open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
    } while (fd < 0 && errno == EINTR);
    // ELOOP: a link; EISDIR: a directory; ENXIO: a socket.
    bool refused = fd < 0 && (errno == ELOOP || errno == EISDIR || errno == ENXIO);
    struct stat info;
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1 ||
                    info.st_uid != geteuid() || ((info.st_mode & 07777) != 0600 && fchmod(fd, 0600) != 0))) {
        refused = true;
        close(fd);
        fd = -1;
    }
    if (fd >= 0) {
        // The program gets a blocking file, as it would have without the flag.
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        if (ftruncate(fd, 0) != 0) {
            close(fd);
            fd = -1;
        }
    }
    if (notAPlainFile != nullptr) *notAPlainFile = refused;
    return FileOf(fd);
}

void SeekToEnd(File file) { lseek(DescriptorOf(file), 0, SEEK_END); }

void Rewind(File file) { lseek(DescriptorOf(file), 0, SEEK_SET); }

void WriteToFile(File file, const char* data, size_t size) {
    int fd = DescriptorOf(file);
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        data += written;
        size -= static_cast<size_t>(written);
    }
}

long ReadFileAt(File file, uint64_t offset, char* buffer, size_t size) {
    int fd = DescriptorOf(file);
    if (offset > static_cast<uint64_t>(LLONG_MAX)) return -1;
    if (size > LONG_MAX) size = LONG_MAX;
    size_t total = 0;
    // Up to `size` bytes or the end of the file, as one read of a Windows file gives.
    while (total < size) {
        ssize_t got = pread(fd, buffer + total, size - total, static_cast<off_t>(offset + total));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return total > 0 ? static_cast<long>(total) : -1;
        if (got == 0) break;
        total += static_cast<size_t>(got);
    }
    return static_cast<long>(total);
}

void CloseFile(File file) {
    int fd = DescriptorOf(file);
    if (fd >= 0) close(fd);
}

bool RemoveFile(const std::string& name) { return unlink(name.c_str()) == 0; }

PathKind ProbePath(const std::string& name) {
    struct stat info;
    if (name.empty() || stat(name.c_str(), &info) != 0) return PathKind::Missing;
    if (S_ISREG(info.st_mode)) return PathKind::File;
    if (S_ISDIR(info.st_mode)) return PathKind::Directory;
    return PathKind::Other;
}

int64_t FileSize(File file) {
    struct stat info;
    if (fstat(DescriptorOf(file), &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
}

std::string NativeFileName(const std::string& name) {
    std::string native = name;
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    return native;
}

char DirectorySeparator() { return '/'; }

bool NameOfDescriptor(int descriptor, std::string& name) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    char target[PATH_MAX];
    ssize_t length = readlink(link, target, sizeof target);
    // Only an absolute name is trusted (no /proc, a name too long, or an object without a name fail).
    if (length <= 0 || length >= static_cast<ssize_t>(sizeof target) || target[0] != '/') return false;
    name.assign(target, static_cast<size_t>(length));
    return true;
}

namespace {

// The kernel's own name for what `name` resolves to: one open and one
// readlink instead of a look-up per component of the name.
bool NameOfOpenedPath(const std::string& name, std::string& canonical) {
    int fd = open(name.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) return false;
    const bool named = NameOfDescriptor(fd, canonical);
    close(fd);
    return named;
}

}  // namespace

bool CanonicalName(const std::string& name, std::string& canonical) {
    if (name.empty()) return false;
    if (NameOfOpenedPath(name, canonical)) return true;
    char* resolved = realpath(name.c_str(), nullptr);
    if (resolved == nullptr) return false;
    canonical = resolved;
    std::free(resolved);
    return true;
}

bool IdentifyFile(const std::string& name, FileIdentity& identity) {
    struct stat info;
    if (name.empty() || stat(name.c_str(), &info) != 0) return false;
    identity = FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    return true;
}

}  // namespace qv::platform
