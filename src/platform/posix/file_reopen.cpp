// A second handle on an open file: a copy of its descriptor, closed on exec.
// Reads go through positioned calls, so the position the copy shares with
// the original is never used.
#include <fcntl.h>

#include "platform/platform.h"
#include "platform/posix/file_handles.h"

namespace qv::platform {

File ReopenForReading(File file) {
    const int fd = DescriptorOf(file);
    if (fd < 0) return 0;
    return FileOf(fcntl(fd, F_DUPFD_CLOEXEC, 0));
}

}  // namespace qv::platform
