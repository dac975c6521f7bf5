// Starting, stopping and the state the server reports; a server that keeps
// answering while its channel numbers pass the slot table and wrap.
#include "recording_server.h"
#include "server_fixture.h"
#include "soak.h"

namespace {

using qvtest::api;
using qvtest::Head;

class ServerControl : public qvtest::ServerFixture {
protected:
    ServerControl() { startServer_ = false; }
};

TEST_F(ServerControl, PortsOutOfRangeAreRefusedAndChangeNothing) {
    const qvtest::Api& a = api();
    EXPECT_EQ(a.ServerRunning(), 0);
    EXPECT_EQ(a.ServerStart(-1), -3);
    EXPECT_EQ(a.ServerStart(65536), -3);
    EXPECT_EQ(a.ServerRunning(), 0);
    ASSERT_EQ(a.ServerStart(port_), 0);
    EXPECT_EQ(a.ServerRunning(), 1);
    EXPECT_EQ(a.ServerStart(-1), -3);
    EXPECT_EQ(a.ServerStart(65536), -3);
    EXPECT_EQ(a.ServerRunning(), 1);
}

TEST_F(ServerControl, RunningInEveryState) {
    const qvtest::Api& a = api();
    WriteFile(root_ / "docs" / "a.htm", "A");
    const std::string answer = Head("HTTP/1.0 200 OK", "text/html", 1) + "A\r\n\r\n";
    ASSERT_EQ(a.ServerStart(port_), 0);
    EXPECT_EQ(a.ServerRunning(), 1);
    EXPECT_EQ(Get("/a.htm"), answer);
    a.ServerStop();
    EXPECT_EQ(a.ServerRunning(), 0);
    a.ServerStop();  // a second stop is harmless
    EXPECT_EQ(a.ServerRunning(), 0);
    // Started again after a stop, it answers again.
    ASSERT_EQ(a.ServerStart(port_), 0);
    EXPECT_EQ(a.ServerRunning(), 1);
    EXPECT_EQ(Get("/a.htm"), answer);
    a.ServerStop();
}

TEST_F(ServerControl, StartThatCannotListenReports4) {
    qvtest::RecordingServer other(qvtest::RecordingServerAnswer{});
    ASSERT_TRUE(other.Listening());
    if (qvtest::ServerAddress() != "127.0.0.1") GTEST_SKIP() << "the other server listens on 127.0.0.1 only";
    EXPECT_EQ(api().ServerStart(other.Port()), 4);
    EXPECT_EQ(api().ServerRunning(), 0);
}

TEST_F(ServerControl, SecondStartLeavesTheRunningServerStoppable) {
    const qvtest::Api& a = api();
    WriteFile(root_ / "docs" / "a.htm", "A");
    const std::string answer = Head("HTTP/1.0 200 OK", "text/html", 1) + "A\r\n\r\n";
    ASSERT_EQ(a.ServerStart(port_), 0);
    EXPECT_EQ(a.ServerStart(port_), 4);
    EXPECT_EQ(a.ServerStart(port_ + 1), 4);
    EXPECT_EQ(a.ServerRunning(), 1);
    EXPECT_EQ(Get("/a.htm"), answer);
    a.ServerStop();
    EXPECT_EQ(a.ServerRunning(), 0);
    EXPECT_FALSE(qvtest::Talk(qvtest::ServerAddress(), static_cast<uint16_t>(port_), "GET /a.htm HTTP/1.0\r\n\r\n", 2000).connected);
}

int32_t lastSlot = -1;
int32_t QV_CALL RecordSlot(int32_t slot, const char*, int32_t, const char*, int32_t) {
    lastSlot = slot;
    return 0;
}

// Every start takes a channel number; thousands of starts carry the counter
// past 500 and round past 32,767 while requests go on being answered in slots 0..500.
TEST_F(ServerControl, KeepsAnsweringAsChannelNumbersPassTheTableAndWrap) {
    if (!qvtest::SoakRun()) GTEST_SKIP() << qvtest::kSoakOnly;
    const qvtest::Api& a = api();
    WriteFile(root_ / "docs" / "n.htm", "N");
    const std::string answer = Head("HTTP/1.0 200 OK", "text/html", 1) + "N\r\n\r\n";
    ASSERT_EQ(a.SetServerCallback(&RecordSlot), 0);
    for (int round = 0; round < 9; ++round) {
        for (int i = 0; i < 4000; ++i) {
            ASSERT_EQ(a.ServerStart(port_), 0);
            a.ServerStop();
        }
        ASSERT_EQ(a.ServerStart(port_), 0);
        for (int i = 0; i < 3; ++i) {
            lastSlot = -1;
            EXPECT_EQ(Get("/n.htm"), answer) << "round " << round;
            EXPECT_GE(lastSlot, 0);
            EXPECT_LE(lastSlot, 500);
        }
        a.ServerStop();
    }
}

}  // namespace
