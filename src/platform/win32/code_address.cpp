// Whether a host's callback address can be called.
#include <windows.h>

#include "platform/platform.h"

namespace qv::platform {

bool IsExecutableAddress(const void* address) {
    if (address == nullptr) return false;
    auto code = reinterpret_cast<FARPROC>(const_cast<void*>(address));
    if (IsBadCodePtr(code)) return false;
    // IsBadCodePtr only proves the byte readable: data is readable too.
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(address, &region, sizeof region) != sizeof region) return false;
    if (region.State != MEM_COMMIT || (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0) return false;
    const DWORD executable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return (region.Protect & executable) != 0;
}

}  // namespace qv::platform
