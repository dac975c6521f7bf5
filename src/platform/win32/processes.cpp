// Starting a CGI program with the exchange files as its standard handles.
#include <windows.h>

#include <vector>

#include "platform/platform.h"

namespace qv::platform {

LaunchResult RunProgram(const ProgramLaunch& launch, uint32_t waitMs) {
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    startup.cb = 68;
    startup.lpTitle = nullptr;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.wShowWindow = 0;
    startup.hStdInput = reinterpret_cast<HANDLE>(launch.standardInput);
    startup.hStdOutput = reinterpret_cast<HANDLE>(launch.standardOutput);
    startup.hStdError = reinterpret_cast<HANDLE>(launch.standardError);
    // The C runtime's table of inherited descriptors that our own parent may
    // have handed us would override the three handles in the program.
    startup.cbReserved2 = 0;
    startup.lpReserved2 = nullptr;

    SECURITY_ATTRIBUTES inheritable{};
    inheritable.nLength = 12;
    inheritable.lpSecurityDescriptor = nullptr;
    inheritable.bInheritHandle = TRUE;

    // CreateProcessA may write into the command line; the block must end in two NULs.
    std::vector<char> commandLine(launch.commandLine.begin(), launch.commandLine.end());
    commandLine.push_back('\0');
    std::vector<char> environment(launch.environmentBlock.begin(), launch.environmentBlock.end());
    environment.push_back('\0');
    environment.push_back('\0');
    const char* directory = launch.workingDirectory.empty() ? nullptr : launch.workingDirectory.c_str();

    // A program name of MAX_PATH characters or more names nothing the system
    // can start, and some implementations of CreateProcessA fault on it.
    if (launch.application.size() >= MAX_PATH) return LaunchResult::NotStarted;

    PROCESS_INFORMATION process{};
    process.hProcess = nullptr;
    if (!CreateProcessA(launch.application.c_str(), commandLine.data(), &inheritable, &inheritable, TRUE,
                        DETACHED_PROCESS, environment.data(), directory, &startup, &process) ||
        process.hProcess == nullptr) {
        return LaunchResult::NotStarted;
    }
    DWORD waited = WaitForSingleObject(process.hProcess, waitMs);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return waited == WAIT_OBJECT_0 ? LaunchResult::Finished : LaunchResult::StillRunning;
}

}  // namespace qv::platform
