// The programs started beside the message loop, as the loop keeps them.
#pragma once

#include <sys/types.h>

#include "platform/platform.h"

namespace qv::platform::loop {

// Takes a started child into the table; 0 when it cannot be kept (the child is then left to the sweep).
Process AdoptProcess(pid_t pid);
bool WatchProcessEnd(Process process, Window window, uint32_t message, uintptr_t tag);
void ForgetProcess(Process process);
// Kills the child if it has not ended yet (it is reaped as any other end).
void KillProcess(Process process);
// Reaps forgotten programs that have ended, whoever was to watch them.
void ReapForgottenProcesses();
// Whether programs started from now on are watched through process
// descriptors (the default where the system has them) or by asking, as on
// systems without them. For tests of the latter.
void UseProcessDescriptors(bool use);

}  // namespace qv::platform::loop
