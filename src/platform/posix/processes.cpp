// Starting a program with posix_spawn (no shell, no fork in a threaded host):
// one argument, the given environment as its whole environment, the three
// files as its standard input, output and error, in a process group of its
// own. A checked program is started through its descriptor (the child's
// descriptor 3, which it keeps).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <vector>

#include "platform/platform.h"
#include "platform/posix/file_handles.h"
#include "platform/posix/process_table.h"

namespace qv::platform {
namespace {

std::vector<std::string> SplitEnvironment(const std::string& block) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start < block.size()) {
        size_t end = block.find('\0', start);
        if (end == std::string::npos) end = block.size();
        if (end == start) break;  // the empty entry ends the block
        entries.push_back(block.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

// The program's own descriptor in the child: the program is started through
// it, and a "#!" script's interpreter opens the script by it.
constexpr int kProgramDescriptor = 3;

// A close-on-exec copy above the descriptors the child is given, so that the
// copies to 0, 1, 2 and the program's cannot overwrite one another.
int HighCopy(File file) {
    int fd = DescriptorOf(file);
    return fd < 0 ? -1 : fcntl(fd, F_DUPFD_CLOEXEC, kProgramDescriptor + 1);
}

// Starts the child: -1 when it could not be started.
pid_t SpawnChild(const ProgramLaunch& launch) {
    if (launch.application.empty()) return -1;

    std::vector<std::string> environment = SplitEnvironment(launch.environmentBlock);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(&entry[0]);
    envp.push_back(nullptr);
    std::string argument = launch.commandLine;
    char* argv[] = {&argument[0], nullptr};

    const File standard[4] = {launch.standardInput, launch.standardOutput, launch.standardError, launch.program};
    int copies[4];
    for (int i = 0; i < 4; ++i) copies[i] = HighCopy(standard[i]);
    // A checked program is started from its descriptor, never by its name
    // again: what was checked is what runs.
    const bool fromDescriptor = launch.program != 0;
    const std::string path =
        fromDescriptor ? "/proc/self/fd/" + std::to_string(kProgramDescriptor) : launch.application;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    bool ready = true;
    for (int i = 0; i < 3; ++i) {
        // A standard file that is missing becomes the null device.
        int rc = copies[i] >= 0
                     ? posix_spawn_file_actions_adddup2(&actions, copies[i], i)
                     : posix_spawn_file_actions_addopen(&actions, i, "/dev/null", i == 0 ? O_RDONLY : O_WRONLY, 0);
        ready = ready && rc == 0;
    }
    if (fromDescriptor) {
        ready = ready && copies[3] >= 0 &&
                posix_spawn_file_actions_adddup2(&actions, copies[3], kProgramDescriptor) == 0;
    }
    // Whatever the host left inheritable stays with the host.
    ready = ready && posix_spawn_file_actions_addclosefrom_np(&actions, fromDescriptor ? kProgramDescriptor + 1
                                                                                      : kProgramDescriptor) == 0;
    if (!launch.workingDirectory.empty()) {
        ready = ready && posix_spawn_file_actions_addchdir_np(&actions, launch.workingDirectory.c_str()) == 0;
    }

    // The program starts with no signal blocked and SIGPIPE at its default,
    // whatever the host's thread blocks or ignores; and as the leader of a
    // process group of its own, which whatever it starts joins, so that the
    // whole tree can be ended with it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, pipe;
    sigemptyset(&none);
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ready = ready && posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
            posix_spawnattr_setsigdefault(&attributes, &pipe) == 0 && posix_spawnattr_setpgroup(&attributes, 0) == 0 &&
            posix_spawnattr_setflags(&attributes,
                                     POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP) == 0;

    pid_t pid = -1;
    int spawned = ready ? posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, envp.data()) : -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    for (int copy : copies) {
        if (copy >= 0) close(copy);
    }
    // glibc reports a failed exec (missing, not executable) as a spawn error.
    if (spawned != 0 || pid <= 0) return -1;
    return pid;
}

}  // namespace

Process StartProgram(const ProgramLaunch& launch) {
    loop::ReapForgottenProcesses();
    pid_t pid = SpawnChild(launch);
    return pid < 0 ? 0 : loop::AdoptProcess(pid);
}

bool NotifyProcessEnd(Process process, Window window, uint32_t message, uintptr_t tag) {
    return loop::WatchProcessEnd(process, window, message, tag);
}

void EndProgram(Process process) { loop::KillProcess(process); }

void CloseProcess(Process process) { loop::ForgetProcess(process); }

}  // namespace qv::platform
