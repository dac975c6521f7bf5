// Opening a file below a held directory: the name is resolved once, by the
// kernel, from the directory's descriptor; what was opened is then checked,
// and only its descriptor is used afterwards.
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "platform/posix/file_handles.h"

namespace qv::platform {
namespace {

// Reading: without waiting (a FIFO would otherwise block until a writer
// came) and never becoming the controlling terminal. Running: a path-only
// descriptor, which opens nothing and is enough to start the program from.
int FlagsFor(OpenPurpose purpose) {
    return purpose == OpenPurpose::Run ? O_PATH | O_CLOEXEC : O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
}

bool IsWithin(const std::string& directory, const std::string& name) {
    if (directory == "/") return name.size() > 1 && name[0] == '/';
    return name.size() > directory.size() + 1 && name.compare(0, directory.size(), directory) == 0 &&
           name[directory.size()] == '/';
}

bool IsTransient(int error) {
    return error == EAGAIN || error == EBUSY || error == ETXTBSY || error == EMFILE || error == ENFILE;
}

// openat2 confined below the directory: links are followed only while they
// stay below it. -1 with errno set; EAGAIN (a rename below the directory
// during the look-up) is tried again a few times.
int OpenBeneath(int directory, const std::string& below, int flags) {
#ifdef SYS_openat2
    open_how how{};
    how.flags = static_cast<uint64_t>(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    for (int attempt = 0; attempt < 4; ++attempt) {
        long fd = syscall(SYS_openat2, directory, below.c_str(), &how, sizeof how);
        if (fd >= 0) return static_cast<int>(fd);
        if (errno != EINTR && errno != EAGAIN) break;
    }
    return -1;
#else
    (void)directory, (void)below, (void)flags;
    errno = ENOSYS;
    return -1;
#endif
}

// The way for what openat2 declines: a link with an absolute target that
// still lands inside, or a system without openat2. The name is followed
// with a path-only open, which opens nothing; the place it led to is checked;
// only then is that same file opened through its descriptor.
int OpenThroughLinks(int directory, const std::string& below, const std::string& canonical, int flags,
                     OpenedFile& result) {
    int found;
    do {
        found = openat(directory, below.c_str(), O_PATH | O_CLOEXEC);
    } while (found < 0 && errno == EINTR);
    if (found < 0) return -1;
    std::string name;
    if (!NameOfDescriptor(found, name) || !IsWithin(canonical, name)) {
        close(found);
        result.outside = true;
        errno = EXDEV;
        return -1;
    }
    struct stat info;
    // A path-only descriptor serves for running, and for telling what a
    // directory, device or FIFO is without ever opening it.
    if ((flags & O_PATH) || fstat(found, &info) != 0 || !S_ISREG(info.st_mode)) return found;
    char reopen[64];
    std::snprintf(reopen, sizeof reopen, "/proc/self/fd/%d", found);
    int fd;
    do {
        fd = open(reopen, flags);
    } while (fd < 0 && errno == EINTR);
    const int error = errno;
    close(found);
    errno = error;
    return fd;
}

}  // namespace

bool OpenDirectory(const std::string& name, OpenedDirectory& opened) {
    if (name.empty()) return false;
    int fd;
    do {
        fd = open(name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat info;
    std::string canonical;
    // Without /proc the name is resolved once more; a file below is then
    // taken only from a look-up the kernel kept below the directory.
    if (fstat(fd, &info) != 0 || !(NameOfDescriptor(fd, canonical) || CanonicalName(name, canonical))) {
        close(fd);
        return false;
    }
    opened.handle = FileOf(fd);
    opened.identity = FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    opened.canonical = canonical;
    return true;
}

void CloseDirectory(Directory directory) {
    int fd = DescriptorOf(directory);
    if (fd >= 0) close(fd);
}

OpenedFile OpenBelow(const OpenedDirectory& directory, const std::string& relative, OpenPurpose purpose) {
    OpenedFile result;
    const int base = DescriptorOf(directory.handle);
    const std::string below = NativeFileName(relative);
    if (base < 0 || below.empty() || below[0] == '/' || directory.canonical.empty()) return result;
    const int flags = FlagsFor(purpose);

    bool confined = true;  // the kernel kept the look-up below the directory
    int fd = OpenBeneath(base, below, flags);
    if (fd < 0 && (errno == EXDEV || errno == ELOOP || errno == ENOSYS || errno == EPERM || errno == EINVAL ||
                   errno == E2BIG || errno == EAGAIN)) {
        confined = false;
        fd = OpenThroughLinks(base, below, directory.canonical, flags, result);
        if (result.outside) return result;
    }
    if (fd < 0) {
        const int error = errno;
        // Nothing there (a dangling or looping link included) is missing; the rest exists but cannot be opened.
        if (error != ENOENT && error != ENOTDIR && error != ELOOP) {
            result.kind = PathKind::File;
            result.mayRetry = IsTransient(error);
        }
        return result;
    }

    struct stat info;
    if (fstat(fd, &info) != 0) {
        close(fd);
        return result;
    }
    result.kind = S_ISREG(info.st_mode) ? PathKind::File : S_ISDIR(info.st_mode) ? PathKind::Directory : PathKind::Other;
    // Checked as opened: the kernel's name for this very file must lie within
    // the directory. Where no name can be had, only a confined look-up counts.
    if (NameOfDescriptor(fd, result.name)) {
        result.outside = !IsWithin(directory.canonical, result.name);
    } else {
        result.outside = !confined;
        result.name = directory.canonical + (directory.canonical == "/" ? "" : "/") + below;
    }
    if (result.outside || result.kind != PathKind::File) {
        close(fd);
        return result;
    }
    result.file = FileOf(fd);
    result.size = static_cast<int64_t>(info.st_size);
    result.modified = static_cast<int64_t>(info.st_mtim.tv_sec);
    return result;
}

}  // namespace qv::platform
