// Whether a process, known by its system-wide id, still runs.
// tests/support/posix/ and tests/support/win32/ implement it.
#pragma once

namespace qvtest {

// True while the process runs; false once it has ended (on Linux an ended
// process not yet reaped by its parent counts as ended) or no such process is there.
bool ProcessRunning(unsigned long id);
// Ends the process if it still runs: a test's tidying after a failure.
void EndProcess(unsigned long id);

}  // namespace qvtest
