// The running server's connection table, as the notification window's
// messages and the server's start and stop reach it: accepts, socket events,
// program ends and timers. Everything here runs on the loading thread,
// inside its message loop, and never waits.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "server/table_options.h"

namespace qv::server {

// Socket events of the accepted connections, and the end of a program.
constexpr uint32_t kConnectionMessage = 1099;
constexpr uint32_t kProgramEndMessage = 1100;

// The timers of the notification window.
constexpr uintptr_t kDeadlineTimer = 1;     // closes connections past their time-out
constexpr uintptr_t kProgramRetryTimer = 3;  // the exchange files of the program's turn are tried again
constexpr uintptr_t kAcceptResumeTimer = 4;  // out of descriptors, the listener rested: it listens again
constexpr uintptr_t kProgramWatchTimer = 5;  // the running program's time and output are looked at
constexpr uint32_t kProgramWatchMs = 100;
constexpr uintptr_t kOpenRetryTimerBase = 16;  // + slot: a locked file is tried again
constexpr uintptr_t kBodyPauseTimerBase = 1024;  // + slot: the client paused inside a body line
constexpr uint32_t kDeadlineCheckMs = 1000;
// A POST body line without its line end is taken as it stands once the client
// has sent nothing more for this long.
constexpr uint32_t kBodyPauseMs = 100;

// The listener is open: a table made from the options set and the host's
// `settings` of this start takes connections from now on, their messages to `window`.
void BeginServing(platform::Window window, const Settings& settings);
// Every open connection closed, the waiting programs forgotten, the timers stopped.
void EndServing();

void AcceptPending();
// `error`: the error code reported with the events (a reset, a failure), 0 for none.
void OnConnectionEvent(platform::Socket socket, uint32_t events, uint32_t error);
void OnProgramEnd(uintptr_t tag);
void OnTimer(uintptr_t id);

// What the table of every later start is made from (a test's clock, time-outs
// or first channel number); TableOptions() gives the defaults back.
void UseTableOptions(const TableOptions& options);

}  // namespace qv::server
