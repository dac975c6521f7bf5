// The ends of programs started beside the message loop: each program is
// watched by one loop, through a process descriptor in its poll set where the
// system has them, else by asking at every pass. Whoever sees the end ends
// what is left of the child's process group, reaps the child and posts the
// messages asked for; a program forgotten while it still runs is killed with
// its group and reaped all the same when it has ended.
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/posix/message_queue.h"
#include "platform/posix/process_table.h"

namespace qv::platform::loop {
namespace {

std::atomic<bool> gUseDescriptors{true};

int OpenProcessDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
    if (!gUseDescriptors) return -1;
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

bool FitsHandle(Process process) { return process != 0 && process <= UINT32_MAX; }

// Ends what is left of the child's group. Only while the child is not yet
// reaped: the number it leaves behind could then lead another group.
void KillGroup(const ProcessRecord& record) { kill(-record.pid, SIGKILL); }

// True once the child has ended and is reaped (by us now, or it is not ours any more).
bool ReapIfEnded(const ProcessRecord& record) {
    // Ended but not yet reaped: what it started goes before it is.
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(record.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == record.pid) {
        KillGroup(record);
    }
    pid_t done;
    do {
        done = waitpid(record.pid, nullptr, WNOHANG);
    } while (done < 0 && errno == EINTR);
    return done == record.pid || (done < 0 && errno == ECHILD);
}

void PostLocked(const PostedMessage& posted) {
    LoopState& s = Loop();
    auto window = s.windows.find(posted.window);
    if (window == s.windows.end() || !window->second.owner->alive) return;
    window->second.owner->posted.push_back(posted);
    WakeLocked(*window->second.owner);
}

void StopWatchingLocked(uint32_t id, ProcessRecord& record) {
    if (!record.watcher) return;
    if (record.pidfd >= 0) {
        epoll_ctl(record.watcher->pollFd, EPOLL_CTL_DEL, record.pidfd, nullptr);
    } else {
        auto& asked = record.watcher->processesAsked;
        asked.erase(std::remove(asked.begin(), asked.end(), id), asked.end());
    }
    record.watcher.reset();
}

// The end of a reaped child: its descriptor goes, its messages are posted.
void EndedLocked(uint32_t id, ProcessRecord& record) {
    StopWatchingLocked(id, record);
    if (record.pidfd >= 0) close(record.pidfd);
    record.pidfd = -1;
    record.ended = true;
    for (const PostedMessage& end : record.ends) PostLocked(end);
    record.ends.clear();
    if (record.forgotten) Loop().processes.erase(id);
}

// Puts the child in the care of `queue`'s loop.
void WatchLocked(uint32_t id, ProcessRecord& record, const std::shared_ptr<ThreadQueue>& queue) {
    if (record.watcher || !queue || !queue->alive) return;
    if (record.pidfd >= 0) {
        epoll_event entry{};
        entry.events = EPOLLIN;
        entry.data.u64 = PollTag(PollKind::Process, 0, id);
        if (epoll_ctl(queue->pollFd, EPOLL_CTL_ADD, record.pidfd, &entry) != 0) return;
    } else {
        queue->processesAsked.push_back(id);
    }
    record.watcher = queue;
    WakeOtherLocked(*queue);
}

void CheckLocked(uint32_t id) {
    LoopState& s = Loop();
    auto it = s.processes.find(id);
    if (it != s.processes.end() && !it->second.ended && ReapIfEnded(it->second)) EndedLocked(id, it->second);
}

}  // namespace

void NoteProcessEnded(uint64_t tag) {
    std::lock_guard<std::mutex> guard(Loop().lock);
    CheckLocked(static_cast<uint32_t>(tag & 0xffffffffu));
}

void AskProcessesWithoutDescriptor(const std::shared_ptr<ThreadQueue>& queue) {
    std::lock_guard<std::mutex> guard(Loop().lock);
    if (queue->processesAsked.empty()) return;
    // A copy: an ended one leaves the list.
    const std::vector<uint32_t> asked = queue->processesAsked;
    for (uint32_t id : asked) CheckLocked(id);
}

Process AdoptProcess(pid_t pid) {
    LoopState& s = Loop();
    const int pidfd = OpenProcessDescriptor(pid);
    std::lock_guard<std::mutex> guard(s.lock);
    do {
        ++s.lastProcess;
    } while (s.lastProcess == 0 || s.processes.count(s.lastProcess) != 0);
    ProcessRecord& record = s.processes[s.lastProcess];
    record.pid = pid;
    record.pidfd = pidfd;
    return s.lastProcess;
}

bool WatchProcessEnd(Process process, Window window, uint32_t message, uintptr_t tag) {
    if (!FitsHandle(process) || window == 0 || window > UINT32_MAX) return false;
    const auto id = static_cast<uint32_t>(process);
    LoopState& s = Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.processes.find(id);
    auto target = s.windows.find(static_cast<uint32_t>(window));
    if (it == s.processes.end() || it->second.forgotten || target == s.windows.end()) return false;
    ProcessRecord& record = it->second;
    const PostedMessage end{static_cast<uint32_t>(window), message, tag, 0};
    if (!record.ended && ReapIfEnded(record)) EndedLocked(id, record);
    if (record.ended) {
        PostLocked(end);
        return true;
    }
    WatchLocked(id, record, target->second.owner);
    if (!record.watcher) return false;
    record.ends.push_back(end);
    return true;
}

void ForgetProcess(Process process) {
    if (!FitsHandle(process)) return;
    const auto id = static_cast<uint32_t>(process);
    LoopState& s = Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.processes.find(id);
    if (it == s.processes.end()) return;
    ProcessRecord& record = it->second;
    record.forgotten = true;
    record.ends.clear();
    if (record.ended) {
        s.processes.erase(it);
        return;
    }
    if (ReapIfEnded(record)) {
        EndedLocked(id, record);  // and gone, being forgotten
        return;
    }
    KillGroup(record);
    // Ending: the loop that watched it, else the caller's (the server's) or
    // the loading thread's, reaps it when it has ended; the sweep at the next
    // start covers a loop that no longer runs.
    std::shared_ptr<ThreadQueue> caller = ExistingQueue();
    WatchLocked(id, record, caller && caller->alive ? caller : s.loadingThread);
}

void KillProcess(Process process) {
    if (!FitsHandle(process)) return;
    LoopState& s = Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    const auto id = static_cast<uint32_t>(process);
    auto it = s.processes.find(id);
    // A reaped child's number may belong to another process by now.
    if (it == s.processes.end() || it->second.ended) return;
    // Not reaped, ended or not: its number is still its own, and its group's.
    KillGroup(it->second);
}

void UseProcessDescriptors(bool use) { gUseDescriptors = use; }

void ReapForgottenProcesses() {
    LoopState& s = Loop();
    std::lock_guard<std::mutex> guard(s.lock);
    std::vector<uint32_t> ended;
    for (auto& [id, record] : s.processes) {
        if (record.forgotten && !record.ended && ReapIfEnded(record)) ended.push_back(id);
    }
    for (uint32_t id : ended) EndedLocked(id, s.processes.at(id));
}

}  // namespace qv::platform::loop
