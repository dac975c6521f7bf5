#include "server/server_control.h"

#include "net/channel.h"
#include "server/connection_events.h"
#include "server/listeners.h"
#include "server/server_state.h"

namespace qv::server {
namespace {

bool EnsureNotifyWindow() {
    ServerState& s = State();
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (s.notifyWindow != 0 && platform::WindowExists(s.notifyWindow)) return true;
    }
    platform::Window window = platform::CreateHiddenWindow(&NotificationHandler);
    std::lock_guard<std::mutex> guard(s.lock);
    s.notifyWindow = window;
    return window != 0;
}

// Every listener, every open connection and the window.
void CloseListeningAndWindow() {
    EndServing();
    ServerState& s = State();
    int32_t listening = 0;
    std::vector<platform::Socket> further;
    platform::Window window;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (s.listeningOpen) listening = s.listeningChannel;
        s.listeningOpen = false;
        further.swap(s.furtherListeners);
        window = s.notifyWindow;
    }
    if (listening != 0) net::CloseChannel(listening, net::ChannelKind::None);
    CloseFurtherListeners(further);
    if (window != 0 && platform::WindowExists(window)) platform::DestroyHiddenWindow(window);
}

}  // namespace

int32_t LibraryEntry(uint32_t reason) {
    switch (reason) {
    case 1: {
        ServerState& s = State();
        {
            std::lock_guard<std::mutex> guard(s.lock);
            s.settings.documentDirectory = platform::DefaultDirectory();
            s.settings.cgiDirectory = platform::DefaultDirectory();
            s.settings.callback = nullptr;
            s.notifyWindow = 0;
        }
        return EnsureNotifyWindow() ? 1 : 0;
    }
    case 0:
        CloseListeningAndWindow();
        return 1;
    case 2:
    case 3:
        return 1;
    default:
        return 0;
    }
}

int32_t Start(int32_t port) {
    if (port < 0 || port > 65535) return -3;
    EnsureNotifyWindow();
    ServerState& s = State();
    platform::Window window;
    std::vector<platform::IpAddress> listenSetting;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        // One server per process: a second start while listening would lose the
        // open channel (still serving, but beyond any stop), so it is refused as
        // a start that cannot listen, and the running server is left as it is.
        if (s.listeningOpen) return 4;
        s.slots = std::make_unique<std::array<ConnectionSlot, kSlotCount>>();
        s.answers = std::make_unique<std::array<std::string, kSlotCount>>();
        s.listeningPort = port == 0 ? 80 : port;
        window = s.notifyWindow;
        listenSetting = s.settings.listenAddresses;
    }
    const int listeningPort = port == 0 ? 80 : port;
    // Every slot may hold a socket and a file at once.
    platform::RaiseDescriptorLimit();
    int32_t number = net::NextChannelNumber();
    // Without a setting the server listens where it always has, this
    // computer's address, and on loopback beside it.
    platform::IpAddress hostAddress;
    int error = net::kOk;
    if (listenSetting.empty() && !net::FirstLocalHostIpAddress(hostAddress)) error = net::kErrNetwork;
    const ListenPlan plan = PlanListening(listenSetting, hostAddress);
    if (error == net::kOk && number != 0) {
        error = net::OpenServerChannelAt(number, &plan.first, listeningPort, kChannelTimeoutMs);
    }
    std::vector<platform::Socket> further;
    if (error == net::kOk && number != 0 && !OpenFurtherListeners(plan, listeningPort, further)) {
        net::CloseChannel(number, net::ChannelKind::None);
        error = net::kErrNetwork;
    }
    std::lock_guard<std::mutex> guard(s.lock);
    if (error != net::kOk || number == 0) {
        s.listeningChannel = 0;
        return 4;
    }
    s.listeningChannel = number;
    s.listeningOpen = true;
    s.furtherListeners = further;
    BeginServing(window, s.settings);
    net::NotifyChannel(number, window, net::kAcceptMessage, net::kEventAccept | net::kEventConnect);
    for (platform::Socket listener : further) {
        platform::NotifySocketEvents(listener, window, net::kAcceptMessage, net::kEventAccept | net::kEventConnect);
    }
    return 0;
}

void Stop() { CloseListeningAndWindow(); }

int32_t Running() {
    ServerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.notifyWindow != 0 && platform::WindowExists(s.notifyWindow) && s.listeningChannel != 0 ? 1 : 0;
}

}  // namespace qv::server
