// Files of the server's own that nobody else sees: made without a name where
// the system can, else named and removed at once.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/posix/file_handles.h"

namespace qv::platform {
namespace {

std::string TemporaryDirectory() {
    const char* dir = std::getenv("TMPDIR");
    return dir != nullptr && dir[0] == '/' ? dir : "/tmp";
}

}  // namespace

File CreateTemporaryFile() {
    const std::string dir = TemporaryDirectory();
    int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string pattern = dir + "/quorvex-XXXXXX";
        fd = mkostemp(&pattern[0], O_CLOEXEC);
        if (fd >= 0) unlink(pattern.c_str());
    }
    return FileOf(fd);
}

bool AppendToFile(File file, const char* data, size_t size) {
    const int fd = DescriptorOf(file);
    if (fd < 0) return false;
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace qv::platform
