#include "process_probe.h"

#include <windows.h>

namespace qvtest {

bool ProcessRunning(unsigned long id) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
    if (process == nullptr) return false;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

void EndProcess(unsigned long id) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(id));
    if (process == nullptr) return;
    TerminateProcess(process, 1);
    CloseHandle(process);
}

}  // namespace qvtest
