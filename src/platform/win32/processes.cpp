// Starting a CGI program with the exchange files as its standard handles,
// beside the message loop, with its end posted to a window by a wait of the
// system's thread pool. Each program runs in a job of its own, which every
// process it starts joins; ending the job ends them all, and so does closing
// it.
#include <windows.h>

#include <memory>
#include <mutex>
#include <vector>

#include "platform/platform.h"

namespace qv::platform {
namespace {

// A job whose processes all end when its last handle is closed; null when
// the system gives none.
HANDLE NewJob() {
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (job == nullptr) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

struct Started {
    HANDLE process = nullptr;
    HANDLE job = nullptr;
};

// Starts the program in a job of its own; its process handle (null when it
// could not be started) and the job. The program is created suspended and
// goes into the job before it runs, so nothing it starts escapes the job.
// Where the system refuses a job (an older Windows whose host runs in a job
// that forbids nested ones), the program runs without: it alone can be ended.
Started StartChild(const ProgramLaunch& launch) {
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
    if (launch.application.size() >= MAX_PATH) return Started{};

    PROCESS_INFORMATION process{};
    process.hProcess = nullptr;
    if (!CreateProcessA(launch.application.c_str(), commandLine.data(), &inheritable, &inheritable, TRUE,
                        DETACHED_PROCESS | CREATE_SUSPENDED, environment.data(), directory, &startup, &process) ||
        process.hProcess == nullptr) {
        return Started{};
    }
    Started started;
    started.process = process.hProcess;
    started.job = NewJob();
    if (started.job != nullptr && !AssignProcessToJobObject(started.job, process.hProcess)) {
        CloseHandle(started.job);
        started.job = nullptr;
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return started;
}

// One NotifyProcessEnd: what its wait posts when the process ends.
struct EndNotice {
    HWND window;
    UINT message;
    WPARAM tag;
    HANDLE wait = nullptr;
};

struct RunningProgram {
    HANDLE process;
    HANDLE job;  // null when the program runs without one
    std::mutex lock;
    std::vector<std::unique_ptr<EndNotice>> notices;
};

void CALLBACK PostEnd(void* context, BOOLEAN /*timedOut*/) {
    auto* notice = static_cast<EndNotice*>(context);
    PostMessageA(notice->window, notice->message, notice->tag, 0);
}

}  // namespace

Process StartProgram(const ProgramLaunch& launch) {
    const Started started = StartChild(launch);
    if (started.process == nullptr) return 0;
    auto* running = new RunningProgram;
    running->process = started.process;
    running->job = started.job;
    return reinterpret_cast<Process>(running);
}

bool NotifyProcessEnd(Process process, Window window, uint32_t message, uintptr_t tag) {
    auto* running = reinterpret_cast<RunningProgram*>(process);
    if (running == nullptr || window == 0) return false;
    auto notice = std::make_unique<EndNotice>(EndNotice{reinterpret_cast<HWND>(window), message, tag});
    std::lock_guard<std::mutex> guard(running->lock);
    // Once only: the wait ends with the process, or at once if it has ended already.
    if (!RegisterWaitForSingleObject(&notice->wait, running->process, PostEnd, notice.get(), INFINITE,
                                     WT_EXECUTEONLYONCE)) {
        return false;
    }
    running->notices.push_back(std::move(notice));
    return true;
}

void EndProgram(Process process) {
    auto* running = reinterpret_cast<RunningProgram*>(process);
    if (running == nullptr) return;
    if (running->job != nullptr) {
        TerminateJobObject(running->job, 1);
    } else {
        TerminateProcess(running->process, 1);
    }
}

void CloseProcess(Process process) {
    auto* running = reinterpret_cast<RunningProgram*>(process);
    if (running == nullptr) return;
    for (auto& notice : running->notices) {
        // Waits for a callback under way, so nothing is posted once this returns.
        UnregisterWaitEx(notice->wait, INVALID_HANDLE_VALUE);
    }
    // The job's last handle: what is left of the program's tree ends with it.
    if (running->job != nullptr) CloseHandle(running->job);
    CloseHandle(running->process);
    delete running;
}

}  // namespace qv::platform
