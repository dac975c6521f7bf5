// The host's mutex: waited for and released, never created or closed here.
#include <windows.h>

#include "platform/platform.h"

namespace qv::platform {

void WaitMutexForever(Mutex mutex) { WaitForSingleObject(reinterpret_cast<HANDLE>(mutex), INFINITE); }

void ReleaseHostMutex(Mutex mutex) { ReleaseMutex(reinterpret_cast<HANDLE>(mutex)); }

}  // namespace qv::platform
