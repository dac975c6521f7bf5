// A second handle on an open file, opened anew for reading and sharing
// deletion, so that the file's name can be removed while this handle still
// reads it. Not inheritable: no program started later holds it.
#include <windows.h>

#include "platform/platform.h"

namespace qv::platform {

File ReopenForReading(File file) {
    if (file == 0) return 0;
    HANDLE copy = ReOpenFile(reinterpret_cast<HANDLE>(file), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    return copy == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<File>(copy);
}

}  // namespace qv::platform
