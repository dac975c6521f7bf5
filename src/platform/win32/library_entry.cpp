// The DLL's load hook: the C runtime is initialised by the time it runs.
#include <windows.h>

#include "quorvex.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH || reason == DLL_PROCESS_DETACH) {
        return LIBMAIN(instance, reason, reserved) != 0 ? TRUE : FALSE;
    }
    return TRUE;
}
