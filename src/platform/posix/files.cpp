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

File CreateSharedFile(const std::string& name) {
    int fd;
    do {
        fd = open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0644);
    } while (fd < 0 && errno == EINTR);
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

OpenResult OpenForReading(const std::string& name) {
    // Opened without waiting (a FIFO would otherwise block until a writer came),
    // and kept only when it is a regular file: a directory or device is never "opened".
    int fd;
    do {
        fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        int error = errno;
        bool transient = error == EAGAIN || error == EBUSY || error == ETXTBSY || error == EMFILE ||
                         error == ENFILE;
        return OpenResult{0, transient};
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return OpenResult{0, false};
    }
    // O_NONBLOCK stays: reads of a regular file never wait on it anyway.
    return OpenResult{FileOf(fd), false, static_cast<int64_t>(info.st_size)};
}

int64_t FileSize(File file) {
    struct stat info;
    if (fstat(DescriptorOf(file), &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
}

int64_t FileModifiedTime(File file) {
    struct stat info;
    if (fstat(DescriptorOf(file), &info) != 0) return -1;
    return static_cast<int64_t>(info.st_mtime);
}

std::string NativeFileName(const std::string& name) {
    std::string native = name;
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    return native;
}

namespace {

// The kernel's own name for what `name` resolves to: one open and one
// readlink instead of a look-up per component of the name.
bool NameOfOpenedPath(const std::string& name, std::string& canonical) {
    int fd = open(name.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    ssize_t length = readlink(link, target, sizeof target);
    close(fd);
    // Only an absolute name is trusted (no /proc, a name too long, or an object without a name fall back).
    if (length <= 0 || length >= static_cast<ssize_t>(sizeof target) || target[0] != '/') return false;
    canonical.assign(target, static_cast<size_t>(length));
    return true;
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

bool CanonicalNameBelow(const std::string& canonicalDirectory, const std::string& below, std::string& canonical) {
    if (canonicalDirectory.empty() || canonicalDirectory[0] != '/' || below.empty()) return false;
    std::string name = canonicalDirectory;
    if (name.back() != '/') name += '/';
    size_t begin = 0;
    for (;;) {
        size_t end = below.find('/', begin);
        if (end == std::string::npos) end = below.size();
        const size_t length = end - begin;
        if (length == 0 || below.compare(begin, length, ".") == 0 || below.compare(begin, length, "..") == 0) {
            return false;
        }
        name.append(below, begin, length);
        // One lstat per component: none may be a link for the joined name to be canonical.
        struct stat info;
        if (lstat(name.c_str(), &info) != 0 || S_ISLNK(info.st_mode)) return false;
        if (end == below.size()) break;
        name += '/';
        begin = end + 1;
    }
    canonical = std::move(name);
    return true;
}

bool IdentifyFile(const std::string& name, FileIdentity& identity) {
    struct stat info;
    if (name.empty() || stat(name.c_str(), &info) != 0) return false;
    identity = FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    return true;
}

}  // namespace qv::platform
