// What a test needs of the host side of the platform: the host's own windows,
// its message loop and its mutex. tests/support/posix/ implements these with
// the library's native message-loop exports (Qv...), tests/support/win32/
// with USER32 and KERNEL32, as a real Windows host would.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qvtest {

using HostWindowProc = intptr_t (*)(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// A window owned by the calling thread whose messages go to `proc`; 0 on failure.
uintptr_t CreateHostWindow(HostWindowProc proc);
void DestroyHostWindow(uintptr_t window);
// Runs the calling thread's message loop for about `milliseconds`.
void PumpFor(int milliseconds);
// Runs `work` on a new thread while the calling thread pumps its messages
// (the server runs inside that loop); returns when `work` has finished.
void PumpWhile(const std::function<void()>& work);

uintptr_t CreateHostMutex();
void CloseHostMutex(uintptr_t mutex);
// True once the calling thread owns the mutex, false when `timeoutMs` passed first.
bool WaitHostMutex(uintptr_t mutex, int timeoutMs);
void ReleaseHostMutex(uintptr_t mutex);

// A program built beside the tests (tests/programs/NAME.cpp), by its file name on this platform.
std::string TestProgramPath(const std::string& name);
// The file-name ending of programs on this platform: "" on Linux, ".exe" on Windows.
std::string ProgramSuffix();
// The separator a directory text handed to the library must end with.
char DirectorySeparator();

}  // namespace qvtest
