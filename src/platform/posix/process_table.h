// The programs started beside the message loop, as the loop keeps them.
#pragma once

#include <sys/types.h>

#include "platform/platform.h"

namespace qv::platform::loop {

// Takes a started child into the table; 0 when it cannot be kept (the child is then left to the sweep).
// The child leads a process group of its own: its group goes with it (below).
Process AdoptProcess(pid_t pid);
bool WatchProcessEnd(Process process, Window window, uint32_t message, uintptr_t tag);
// Kills the child's group if the child is not reaped yet, and leaves the
// child to be reaped without a word.
void ForgetProcess(Process process);
// Kills the child and its process group if it has not been reaped yet (it is
// reaped as any other end). Whatever of its group is left when it ends on its
// own is killed before it is reaped, whoever reaps it: until then its number,
// and so its group's, cannot name another process.
void KillProcess(Process process);
// Reaps forgotten programs that have ended, whoever was to watch them.
void ReapForgottenProcesses();
// Whether programs started from now on are watched through process
// descriptors (the default where the system has them) or by asking, as on
// systems without them. For tests of the latter.
void UseProcessDescriptors(bool use);

}  // namespace qv::platform::loop
