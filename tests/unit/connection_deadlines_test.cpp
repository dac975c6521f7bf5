// The server's deadlines on a clock of the test's own: time moves on in
// leaps, so a minute of a slow client or a held loop costs nothing. The
// server itself runs as it does for a host: real sockets, its own window,
// this thread's message loop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "raw_client.h"
#include "server/connection_events.h"
#include "server/server_control.h"
#include "server/settings_store.h"
#include "stream_client.h"

namespace {

namespace platform = qv::platform;
namespace server = qv::server;

std::atomic<uint64_t> gNow{1000000};
uint64_t FakeNow() { return gNow.load(); }

uint16_t NextPort() {
    static uint16_t port = 19400;
    return port++;
}

constexpr size_t kBigSize = size_t{32} << 20;

class Deadlines : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = platform::ExecutableDirectory() + "deadlines_scratch_" + std::to_string(port_);
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ + "/docs");
        std::filesystem::create_directories(dir_ + "/cgi");
        {
            std::ofstream out(dir_ + "/docs/big.dat", std::ios::binary);
            const std::string block(1 << 20, 'b');
            for (size_t written = 0; written < kBigSize; written += block.size()) out << block;
        }
        std::ofstream(dir_ + "/docs/held.htm") << "held";
        server::SetDocumentDirectory(dir_ + "/docs/");
        server::SetCgiDirectory(dir_ + "/cgi/");
        server::ClearRequestCallback();
        server::UseClock(&FakeNow);
        ASSERT_EQ(server::Start(port_), 0);
    }
    void TearDown() override {
        server::Stop();
        server::ClearRequestCallback();
        server::UseClock(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // One second of the server's time: the clock moves on and the deadline
    // check runs, as its timer would run it.
    static void Tick(uint64_t ms = 1000) {
        gNow += ms;
        server::OnTimer(server::kDeadlineTimer);
        platform::PumpMessages(0);
    }

    // Reads what the server sends until it closes or `total` bytes are in, pumping meanwhile.
    static size_t ReadToTheEnd(qvtest::StreamClient& client, size_t already, size_t total) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        size_t got = already;
        while (got < total && !client.closedByServer() && std::chrono::steady_clock::now() < giveUp) {
            got += client.Read(1 << 20, 0).size();
            platform::PumpMessages(0);
        }
        return got;
    }

    static size_t AnswerHeadSize() {
        return std::string("HTTP/1.0 200 OK\r\nServer: Quorvex Version 1.0\r\nContent-Type: ").size();
    }

    uint16_t port_ = NextPort();
    std::string dir_;
};

// A reader that takes 8 KB a second, far below what makes the socket report
// room again: it keeps its download for as long as it keeps taking bytes.
TEST_F(Deadlines, AReaderTakingBytesSlowlyIsNeverCut) {
    qvtest::StreamClient client(qvtest::ServerAddress(), port_);
    ASSERT_TRUE(client.connected());
    client.Send("GET /big.dat HTTP/1.0\r\n\r\n");
    size_t got = 0;
    // The server fills what the sockets hold; from then on the client alone sets the pace.
    for (int i = 0; i < 50; ++i) platform::PumpMessages(10);
    for (int second = 0; second < 90; ++second) {
        got += client.Read(8192, 50).size();
        Tick();
    }
    ASSERT_FALSE(client.closedByServer()) << "closed after " << got << " bytes";
    got = ReadToTheEnd(client, got, SIZE_MAX);
    EXPECT_GT(got, kBigSize + AnswerHeadSize());
    EXPECT_TRUE(client.closedByServer());
}

// A reader that takes nothing is still closed at the send time-out.
TEST_F(Deadlines, AReaderTakingNothingIsClosedAtTheTimeOut) {
    qvtest::StreamClient client(qvtest::ServerAddress(), port_);
    ASSERT_TRUE(client.connected());
    client.Send("GET /big.dat HTTP/1.0\r\n\r\n");
    for (int i = 0; i < 50; ++i) platform::PumpMessages(10);
    for (int second = 0; second < 61; ++second) Tick();
    // What the sockets held still arrives; then the end.
    const size_t got = ReadToTheEnd(client, 0, SIZE_MAX);
    EXPECT_LT(got, kBigSize);
    EXPECT_TRUE(client.closedByServer());
}

// A host that holds the loop for a minute: the download that was under way
// goes on afterwards, as its client was never the one that stopped.
int32_t QV_CALL HoldingCallback(int32_t, const char*, int32_t, const char* request, int32_t) {
    if (std::string(request, 8) != "held.htm") return 0;
    gNow += 61000;
    // Long enough for the real deadline timer to fall due meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    return 0;
}

TEST_F(Deadlines, AHostHoldingTheLoopCutsNoDownload) {
    ASSERT_TRUE(server::SetRequestCallback(&HoldingCallback));
    qvtest::StreamClient download(qvtest::ServerAddress(), port_);
    ASSERT_TRUE(download.connected());
    download.Send("GET /big.dat HTTP/1.0\r\n\r\n");
    size_t got = 0;
    while (got < (size_t{1} << 20) && !download.closedByServer()) {
        got += download.Read(65536, 10).size();
        platform::PumpMessages(0);
    }
    qvtest::StreamClient held(qvtest::ServerAddress(), port_);
    held.Send("GET /held.htm HTTP/1.0\r\n\r\n");
    ASSERT_EQ(ReadToTheEnd(held, 0, SIZE_MAX) > 0, true);
    got = ReadToTheEnd(download, got, SIZE_MAX);
    EXPECT_GT(got, kBigSize + AnswerHeadSize());
}

// A request waiting for its program's turn waits a bounded time: then it is
// told the server is busy.
TEST_F(Deadlines, AWaitForAProgramsTurnIsBounded) {
    const std::string name = "sleepy" + std::string(platform::DirectorySeparator() == '/' ? ".cgi" : ".exe");
    std::filesystem::copy_file(platform::ExecutableDirectory() + "cgi_sleepy" +
                                   (platform::DirectorySeparator() == '/' ? "" : ".exe"),
                               dir_ + "/cgi/" + name);
    qvtest::StreamClient first(qvtest::ServerAddress(), port_);
    qvtest::StreamClient second(qvtest::ServerAddress(), port_);
    first.Send("GET /" + name + " HTTP/1.0\r\n\r\n");
    for (int i = 0; i < 20; ++i) platform::PumpMessages(10);
    second.Send("GET /" + name + " HTTP/1.0\r\n\r\n");
    for (int i = 0; i < 20; ++i) platform::PumpMessages(10);
    for (int s = 0; s < 59; ++s) Tick();
    EXPECT_EQ(second.Read(65536, 50), "");
    Tick();
    Tick();
    std::string answer;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!second.closedByServer() && std::chrono::steady_clock::now() < giveUp) {
        answer += second.Read(65536, 10);
        platform::PumpMessages(0);
    }
    EXPECT_EQ(answer.rfind("HTTP/1.0 503 Service Unavailable\r\n", 0), 0u) << answer;
}

}  // namespace
