#include "server/listeners.h"

#include <algorithm>
#include <mutex>

#include "net/channel.h"
#include "net/ip_address_text.h"
#include "server/server_state.h"

namespace qv::server {
namespace {

platform::Socket reportingListener = platform::kNoSocket;

bool CoveredByAnother(const std::vector<platform::IpAddress>& addresses, const platform::IpAddress& address) {
    if (net::IsEveryAddress(address)) return false;
    return std::any_of(addresses.begin(), addresses.end(), [&](const platform::IpAddress& other) {
        return other.v6 == address.v6 && net::IsEveryAddress(other);
    });
}

}  // namespace

ListenPlan PlanListening(const std::vector<platform::IpAddress>& setting, const platform::IpAddress& hostAddress) {
    std::vector<platform::IpAddress> wanted = setting;
    if (setting.empty()) wanted = {hostAddress, net::Ipv4Loopback(), net::Ipv6Loopback()};
    std::vector<platform::IpAddress> kept;
    for (const platform::IpAddress& address : wanted) {
        if (CoveredByAnother(wanted, address)) continue;
        if (std::find(kept.begin(), kept.end(), address) == kept.end()) kept.push_back(address);
    }
    ListenPlan plan;
    plan.allRequired = !setting.empty();
    plan.first = kept.front();
    plan.further.assign(kept.begin() + 1, kept.end());
    return plan;
}

bool OpenFurtherListeners(const ListenPlan& plan, int port, std::vector<platform::Socket>& opened) {
    for (const platform::IpAddress& address : plan.further) {
        const platform::Socket listener = net::OpenListener(address, port);
        if (listener != platform::kNoSocket) {
            opened.push_back(listener);
        } else if (plan.allRequired) {
            CloseFurtherListeners(opened);
            return false;
        }
    }
    return true;
}

void CloseFurtherListeners(std::vector<platform::Socket>& listeners) {
    for (platform::Socket listener : listeners) net::CloseListener(listener);
    listeners.clear();
}

void NoteReportingListener(platform::Socket listener) { reportingListener = listener; }
platform::Socket ReportingListener() { return reportingListener; }

void NotifyListeners(platform::Window window, uint32_t events) {
    ServerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.listeningOpen) return;
    net::NotifyChannel(s.listeningChannel, window, net::kAcceptMessage, events);
    for (platform::Socket listener : s.furtherListeners) {
        platform::NotifySocketEvents(listener, window, net::kAcceptMessage, events);
    }
}

}  // namespace qv::server
