// Where the server listens: the listening channel on the first address, and
// plain sockets on the others beside it. The further listeners take no
// channel numbers, so a host sees the same numbers and slots as ever; their
// connections are accepted into channels like the channel's own.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace qv::server {

struct ListenPlan {
    platform::IpAddress first;  // the listening channel's address
    std::vector<platform::IpAddress> further;
    // True when the host named the addresses: each must open, or the start fails.
    // Otherwise a further listener that cannot open is left out.
    bool allRequired = false;
};

// The host's `listen` setting as it stands; when it is empty, this computer's
// address (`hostAddress`, where the server has always listened) first, then
// 127.0.0.1 and ::1, each only once. An address of 0.0.0.0 or :: covers every
// other of its family, which is then left out.
ListenPlan PlanListening(const std::vector<platform::IpAddress>& setting, const platform::IpAddress& hostAddress);

// Opens the plan's further listeners on `port`; false, with none left open,
// when a required one cannot be opened.
bool OpenFurtherListeners(const ListenPlan& plan, int port, std::vector<platform::Socket>& opened);
void CloseFurtherListeners(std::vector<platform::Socket>& listeners);

// The listener whose accept event the notification window is handling (its
// socket, as the event names it); the loading thread's alone.
void NoteReportingListener(platform::Socket listener);
platform::Socket ReportingListener();

// Accept events of every listener of the running server (the channel and the
// further ones) to `window` as the accept message; no events stops them.
void NotifyListeners(platform::Window window, uint32_t events);

}  // namespace qv::server
