// The server's deadlines on a clock of the test's own: a minute of a slow
// client, a held loop or a program's whole time costs nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "in_process_server.h"

namespace {

namespace platform = qv::platform;
namespace server = qv::server;

constexpr size_t kBigSize = size_t{32} << 20;

class Deadlines : public qvtest::InProcessServer {
protected:
    void SetUp() override {
        InProcessServer::SetUp();
        std::ofstream out(dir_ + "/docs/big.dat", std::ios::binary);
        const std::string block(1 << 20, 'b');
        for (size_t written = 0; written < kBigSize; written += block.size()) out << block;
    }

    static size_t AnswerHeadSize() {
        return std::string("HTTP/1.0 200 OK\r\nServer: Quorvex Version 1.0\r\nContent-Type: ").size();
    }
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
    qvtest::InProcessServer::AdvanceClock(61000);
    // Long enough for the real deadline timer to fall due meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    return 0;
}

TEST_F(Deadlines, AHostHoldingTheLoopCutsNoDownload) {
    ASSERT_TRUE(server::SetRequestCallback(&HoldingCallback));
    qvtest::StreamClient download(qvtest::ServerAddress(), port_);
    ASSERT_TRUE(download.connected());
    download.Send("GET /big.dat HTTP/1.0\r\n\r\n");
    // The first megabyte, within a minute of real time.
    const size_t got = ReadToTheEnd(download, 0, size_t{1} << 20);
    ASSERT_GE(got, size_t{1} << 20);
    qvtest::StreamClient held(qvtest::ServerAddress(), port_);
    held.Send("GET /held.htm HTTP/1.0\r\n\r\n");
    ASSERT_EQ(ReadToTheEnd(held, 0, SIZE_MAX) > 0, true);
    EXPECT_GT(ReadToTheEnd(download, got, SIZE_MAX), kBigSize + AnswerHeadSize());
}

// Programs run one at a time, each for at most its 10 s: a request that
// waits a minute for its turn is told the server is busy then, and not before.
TEST_F(Deadlines, AWaitForAProgramsTurnIsBounded) {
    const std::string name = InstallProgram("cgi_sleepy", "sleepy");
    std::vector<std::unique_ptr<qvtest::StreamClient>> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(std::make_unique<qvtest::StreamClient>(qvtest::ServerAddress(), port_));
        clients.back()->Send("GET /" + name + " HTTP/1.0\r\n\r\n");
        PumpFor(50);
    }
    PumpFor(300);
    for (int s = 0; s < 59; ++s) Tick();
    for (int i = 6; i < 8; ++i) EXPECT_EQ(clients[i]->Read(65536, 20), "") << "request " << i + 1 << " at 59 s";
    Tick();
    for (int i = 0; i < 8; ++i) {
        std::string answer;
        ReadToTheEnd(*clients[i], 0, SIZE_MAX, &answer);
        // The first six ran to their limit; the last two waited too long for their turn.
        const char* expected = i < 6 ? "HTTP/1.0 504 Gateway Timeout\r\n" : "HTTP/1.0 503 Service Unavailable\r\n";
        EXPECT_EQ(answer.rfind(expected, 0), 0u) << "request " << i + 1 << ": " << answer.substr(0, 60);
    }
}

// A program that outlives its 10 s is ended and its client told so (504),
// and a client that came meanwhile is answered while it runs.
TEST_F(Deadlines, AProgramIsAnsweredWhenItsTimeIsUp) {
    const std::string name = InstallProgram("cgi_sleepy", "sleepy");
    qvtest::StreamClient slow(qvtest::ServerAddress(), port_);
    slow.Send("GET /" + name + " HTTP/1.0\r\n\r\n");
    PumpFor(1500);  // the program starts and writes its first word
    const std::string next = Ask("GET /held.htm HTTP/1.0\r\n\r\n");
    EXPECT_NE(next.find("\r\n\r\nheld"), std::string::npos) << next;
    for (int s = 0; s < 9; ++s) Tick();
    EXPECT_EQ(slow.Read(65536, 50), "");
    EXPECT_FALSE(slow.closedByServer());
    Tick();
    // The program itself sleeps 15 s: an answer within 5 s came from its time being up.
    std::string answer;
    ReadToTheEnd(slow, 0, SIZE_MAX, &answer, 5000);
    EXPECT_TRUE(slow.closedByServer());
    // What it wrote by then ("started") is not its answer: the client is told its time was up.
    EXPECT_EQ(answer.rfind("HTTP/1.0 504 Gateway Timeout\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("<title>HTTP 504 Gateway Timeout</title>"), std::string::npos) << answer;
    EXPECT_EQ(answer.find("started"), std::string::npos) << answer;
}

// A client that stops short, inside its header or inside a POST body it
// announced, is closed without an answer at the receive time-out (no program
// starts), and the client behind it is answered at once. (A client silent
// from the start may never reach the server: the system can hold it until
// its first bytes; scripts/soak waits one out in real time.)
TEST_F(Deadlines, AClientThatStopsShortIsClosedAtTheReceiveTimeOut) {
    const std::string program = InstallProgram("cgi_echo", "echo");
    struct Case {
        const char* what;
        std::string sent;
    };
    const Case cases[] = {
        {"stops inside its header", "GET /held.htm HTTP/1.0\r\nHost: h\r\n"},
        {"stalled POST body", "POST /" + program + " HTTP/1.0\r\nContent-Length: 100\r\n\r\nonly=part"},
    };
    for (const Case& c : cases) {
        qvtest::StreamClient slow(qvtest::ServerAddress(), port_);
        slow.Send(c.sent);
        PumpFor(100);
        const std::string next = Ask("GET /held.htm HTTP/1.0\r\n\r\n");
        EXPECT_NE(next.find("\r\n\r\nheld"), std::string::npos) << c.what << ": " << next;
        // The time-out is 58.6 s.
        for (int s = 0; s < 58; ++s) Tick();
        EXPECT_EQ(slow.Read(65536, 20), "") << c.what;
        EXPECT_FALSE(slow.closedByServer()) << c.what << ": closed before the time-out";
        Tick();
        std::string answer;
        ReadToTheEnd(slow, 0, SIZE_MAX, &answer);
        EXPECT_EQ(answer, "") << c.what;
        EXPECT_TRUE(slow.closedByServer()) << c.what;
    }
}

}  // namespace
