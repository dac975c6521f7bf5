// On Linux a listening socket reports a connection once its first bytes are
// in: a client that connects and says nothing does not wake the server until
// the system hands it over after some seconds, while a client that speaks is
// reported at once.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "loopback_connect.h"
#include "platform/platform.h"
#include "pump_until.h"

namespace {

namespace platform = qv::platform;
namespace loopback = qvtest::loopback;
using qvtest::PumpUntil;

constexpr uint16_t kPort = 18193;
constexpr uint32_t kAcceptMessage = 1097;
std::vector<platform::Socket> gAccepted;

intptr_t AcceptAll(platform::Window, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message != kAcceptMessage) return 0;
    platform::Socket accepted;
    while ((accepted = platform::AcceptConnection(static_cast<platform::Socket>(wParam))) != platform::kNoSocket) {
        gAccepted.push_back(accepted);
    }
    return 0;
}

TEST(DeferredAccept, SilentClientWakesNoOneUntilTheSystemHandsItOver) {
    const uint8_t loopbackBytes[4] = {127, 0, 0, 1};
    uint32_t address;
    std::memcpy(&address, loopbackBytes, 4);
    platform::Socket listening = platform::OpenTcpSocket();
    ASSERT_NE(listening, platform::kNoSocket);
    ASSERT_TRUE(platform::BindSocket(listening, address, kPort));
    ASSERT_TRUE(platform::ListenSocket(listening, 16));
    platform::Window window = platform::CreateHiddenWindow(&AcceptAll);
    ASSERT_TRUE(platform::NotifySocketEvents(listening, window, kAcceptMessage, platform::kSocketAccept));
    gAccepted.clear();

    loopback::Socket silent = loopback::Connect(kPort);
    ASSERT_NE(silent, qvtest::RecordingServer::kNoSocket);
    platform::PumpMessages(300);
    EXPECT_TRUE(gAccepted.empty());

    loopback::Socket speaking = loopback::Connect(kPort);
    loopback::SendAll(speaking, "GET / HTTP/1.0\r\n\r\n");
    PumpUntil([] { return !gAccepted.empty(); });
    ASSERT_EQ(gAccepted.size(), 1u);
    char buffer[64];
    EXPECT_EQ(platform::ReceiveSocketNow(gAccepted[0], buffer, sizeof buffer), 18);

    // The silent one still arrives, with nothing to read: the server's own time-out then applies.
    PumpUntil([] { return gAccepted.size() >= 2; });
    ASSERT_EQ(gAccepted.size(), 2u);
    EXPECT_EQ(platform::ReceiveSocketNow(gAccepted[1], buffer, sizeof buffer), platform::kWouldBlock);

    for (platform::Socket socket : gAccepted) platform::CloseSocket(socket);
    loopback::Close(speaking);
    loopback::Close(silent);
    platform::CloseSocket(listening);
    platform::DestroyHiddenWindow(window);
}

}  // namespace
