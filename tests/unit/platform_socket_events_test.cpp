// Sockets on loopback, and pending connections of a listening socket reported
// as messages to a window through its owner's loop. The peer is the
// platform's URL fetch, which connects and waits for an answer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "recording_server.h"
#include "test_ports.h"

namespace {

namespace platform = qv::platform;
using namespace std::chrono_literals;
using qvtest::loopback::Readable;

const uint16_t kPort = qvtest::TestPort(190);
constexpr uint32_t kAcceptMessage = 1097;
constexpr uint32_t kAcceptAndConnect = 0x18;

struct Report {
    platform::Window window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    std::thread::id thread;
};
std::vector<Report> gReports;  // written by the loop of the test's own thread only
std::atomic<int> gAccepted{0};

// As the server's handler does: one accept per message, then the peer gets an empty answer.
intptr_t AcceptOne(platform::Window window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    gReports.push_back(Report{window, message, wParam, lParam, std::this_thread::get_id()});
    platform::Socket connection = platform::AcceptConnection(static_cast<platform::Socket>(wParam));
    if (connection != platform::kNoSocket) {
        ++gAccepted;
        platform::CloseSocket(connection);
    }
    return 0;
}

uint32_t Ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t bytes[4] = {a, b, c, d};  // network order is the order of the bytes
    uint32_t address;
    std::memcpy(&address, bytes, 4);
    return address;
}

class PlatformSockets : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::SocketLibraryStart());
        ASSERT_TRUE(platform::FirstLocalHostAddress(address_));
        listening_ = platform::OpenTcpSocket();
        ASSERT_NE(listening_, platform::kNoSocket);
        ASSERT_TRUE(platform::SetDontLinger(listening_));
        ASSERT_TRUE(platform::BindSocket(listening_, address_, kPort));
        ASSERT_TRUE(platform::ListenSocket(listening_, 5));
        gReports.clear();
        gAccepted = 0;
    }
    void TearDown() override {
        for (auto& peer : peers_) peer.join();
        if (listening_ != platform::kNoSocket) platform::CloseSocket(listening_);
        if (window_ != 0) platform::DestroyHiddenWindow(window_);
        platform::SocketLibraryStop();
    }
    void StartPeer() {
        std::string url = "http://" + platform::AddressText(address_) + ":" + std::to_string(kPort) + "/";
        peers_.emplace_back([url] {
            std::string body;
            platform::FetchUrl(url, "probe", body);
        });
    }
    template <typename Done>
    bool PumpUntil(Done done) {
        auto giveUp = std::chrono::steady_clock::now() + 10s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > giveUp) return false;
            platform::PumpMessages(20);
        }
        return true;
    }

    uint32_t address_ = 0;
    platform::Socket listening_ = platform::kNoSocket;
    platform::Window window_ = 0;
    std::vector<std::thread> peers_;
};

TEST_F(PlatformSockets, PendingConnectionBecomesAcceptMessageInTheOwnersLoop) {
    window_ = platform::CreateHiddenWindow(&AcceptOne);
    ASSERT_NE(window_, 0u);
    ASSERT_TRUE(platform::NotifySocketEvents(listening_, window_, kAcceptMessage, kAcceptAndConnect));
    StartPeer();
    ASSERT_TRUE(PumpUntil([] { return gAccepted >= 1; }));
    ASSERT_FALSE(gReports.empty());
    const Report& first = gReports.front();
    EXPECT_EQ(first.window, window_);
    EXPECT_EQ(first.message, kAcceptMessage);
    EXPECT_EQ(first.wParam, static_cast<uintptr_t>(listening_));
    EXPECT_EQ(first.lParam, 8);  // an accept, no error
    EXPECT_EQ(first.thread, std::this_thread::get_id());

    // Each later connection is reported again after the accept.
    StartPeer();
    StartPeer();
    EXPECT_TRUE(PumpUntil([] { return gAccepted >= 3; }));
    for (const Report& report : gReports) EXPECT_EQ(report.lParam, 8);
}

TEST_F(PlatformSockets, AcceptNeverWaitsWhenNothingIsPending) {
    // Accept on its own thread: should it wait after all, a peer frees it and the test fails instead of hanging.
    std::atomic<bool> returned{false};
    platform::Socket accepted = platform::kNoSocket;
    std::thread acceptor([&] {
        accepted = platform::AcceptConnection(listening_);
        returned = true;
    });
    auto giveUp = std::chrono::steady_clock::now() + 3s;
    while (!returned && std::chrono::steady_clock::now() < giveUp) std::this_thread::sleep_for(10ms);
    bool returnedAtOnce = returned;
    if (!returnedAtOnce) StartPeer();
    acceptor.join();
    EXPECT_TRUE(returnedAtOnce) << "the accept waited for a connection";
    if (returnedAtOnce) {
        EXPECT_EQ(accepted, platform::kNoSocket);
    }
    if (accepted != platform::kNoSocket) platform::CloseSocket(accepted);
}

TEST_F(PlatformSockets, AcceptedConnectionTalksAndNamesItsPeer) {
    StartPeer();
    ASSERT_TRUE(Readable(listening_, 10000));
    platform::Socket connection = platform::AcceptConnection(listening_);
    ASSERT_NE(connection, platform::kNoSocket);
    // The peer's request arrives on the accepted connection.
    ASSERT_TRUE(Readable(connection, 10000));
    char buffer[1024];
    long got = platform::ReceiveSocket(connection, buffer, sizeof buffer);
    ASSERT_GT(got, 0);
    EXPECT_EQ(std::string(buffer, 4), "GET ");
    platform::IpAddress peerAddress;
    uint16_t peerPort = 0;
    ASSERT_TRUE(platform::SocketPeer(connection, peerAddress, peerPort));
    EXPECT_NE(peerPort, 0);
    EXPECT_FALSE(peerAddress.v6);
    const std::string answer = "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n";
    EXPECT_EQ(platform::SendSocket(connection, answer.data(), answer.size()), static_cast<long>(answer.size()));
    platform::CloseSocket(connection);
}

TEST(PlatformAddressText, DottedQuad) {
    struct Case {
        uint32_t address;
        const char* text;
    } cases[] = {
        {Ipv4(127, 0, 0, 1), "127.0.0.1"},
        {Ipv4(0, 0, 0, 0), "0.0.0.0"},
        {Ipv4(255, 255, 255, 255), "255.255.255.255"},
        {Ipv4(10, 20, 30, 40), "10.20.30.40"},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::AddressText(c.address), c.text);
}

}  // namespace
