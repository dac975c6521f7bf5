// A server's open connections, driven by the notification window's
// messages: accepts, socket events, program ends and timers, every deadline
// on the table's own clock. Everything here runs on the loading thread,
// inside its message loop, and never waits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>

#include "server/connection_records.h"
#include "server/server_state.h"
#include "server/table_options.h"

namespace qv::server {

class ConnectionTable {
public:
    // With a first channel number in `options`, the process's channel counter is seeded here.
    // The settings give the program and upload limits of this start.
    ConnectionTable(const TableOptions& options, const Settings& settings);
    ConnectionTable(const ConnectionTable&) = delete;
    ConnectionTable& operator=(const ConnectionTable&) = delete;

    // The listener is open: connections are taken from now on, their messages to `window`.
    void BeginServing(platform::Window window);
    // Every open connection closed, the waiting programs forgotten, the timers stopped.
    void EndServing();

    void AcceptPending();
    // `error`: the error code reported with the events (a reset, a failure), 0 for none.
    void OnConnectionEvent(platform::Socket socket, uint32_t events, uint32_t error);
    void OnProgramEnd(uintptr_t tag);
    void OnTimer(uintptr_t id);

private:
    using Next = ConnectionMachine::Next;

    uint64_t NowMs() const { return clock_(); }
    LiveConnection* Find(const ConnectionRef& ref);
    void Close(LiveConnection& c);
    void Follow(LiveConnection& c, Next next);
    void FollowRead(LiveConnection& c, Next next);
    void OnBodyPause(int32_t slot);
    void Deliver(LiveConnection& c, Answer answer);
    void Handle(LiveConnection& c);
    void RetryOpen(int32_t slot);

    // Handing requests to the host (host_hand_offs.cpp).
    void HandOff(LiveConnection& c);

    // Program turns (program_turns.cpp).
    bool OwnsProgramTurn(const LiveConnection& c) const;
    void AbandonProgramTurn(const LiveConnection& c);
    void AbandonAllPrograms();
    void StartTurn(const ConnectionRef& ref);
    void StartNextProgram();
    void RetryProgramStart();
    void FinishProgram(uintptr_t tag, bool timeUp);
    void WatchProgram();

    // Taking connections, making room and refusing (connection_accepts.cpp).
    void OpenConnection(int channel);
    LiveConnection* Idlest(bool readingOnly);
    LiveConnection* IdlestAfterReading(bool readingOnly);
    void RefuseBusy(int channel);
    void CloseRefused(bool all);
    void PauseAccepting(int32_t listening);
    void ResumeAccepting();
    static const std::string& BusyResponse();

    // Time-outs (connection_deadlines.cpp).
    void CloseExpired();
    void RestartDeadlines(uint64_t now);

    uint64_t (*const clock_)();
    const uint64_t connectionTimeoutMs_;
    // Taken from the host's settings at the start.
    const uint64_t programTimeLimitMs_;
    const size_t programsAtOnce_;
    const int64_t uploadLimit_;
    const uint64_t programQueueWaitMs_;
    const uint64_t openRetryWindowMs_;
    const uint64_t keepAliveMs_;

    platform::Window window_ = 0;
    uint64_t nextId_ = 1;
    // Each record is made when its connection opens and goes with its close:
    // an idle server holds none (a record is over a kilobyte, and the slots a
    // connection takes rotate through all of them as channel numbers climb).
    std::array<std::unique_ptr<LiveConnection>, kSlotCount> records_;
    std::array<LiveConnection*, kSlotCount> bySlot_{};
    ProgramTurns programs_;
    // Hand-offs to the host go one at a time: requests decided while one is
    // under way (a host that pumps messages) wait here for their turn.
    bool handingOff_ = false;
    std::deque<ConnectionRef> handOffs_;
    // Connections told the server is busy: closed a little later, so that the
    // page is not lost to a reset when the rest of their request arrives.
    std::deque<std::pair<int, uint64_t>> refused_;  // channel, when
    bool acceptPaused_ = false;  // out of descriptors: the listener rests
    // How many connections may be open at once: all the slots, or fewer once
    // the system ran out of descriptors (the rest are kept for the files the
    // answers open); it climbs back by one at each deadline check.
    size_t ceiling_ = kSlotCount;
    size_t live_ = 0;
    uint64_t lastDeadlineCheckMs_ = 0;
};

}  // namespace qv::server
