// Slow but honest clients and programs that misbehave: an upload that keeps
// coming survives a flood of idle connections, a program that writes without
// end is ended before it fills the disk, and an exchange file that cannot be
// made now is tried again later without holding anyone else up.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "held_connections.h"
#include "process_memory.h"
#include "server_fixture.h"
#include "stream_client.h"

namespace {

using qvtest::api;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

class HonestClients : public qvtest::PageServerFixture {
protected:
    // Reads until the server closes or `seconds` pass.
    static std::string ReadAll(qvtest::StreamClient& client, int seconds) {
        std::string got;
        const auto giveUp = Clock::now() + std::chrono::seconds(seconds);
        while (!client.closedByServer() && Clock::now() < giveUp) got += client.Read(65536, 100);
        return got;
    }
};

// 256 KB posted over 4 s while 200 idle connections a second arrive: when
// the slots run out, the idle ones make room, never the upload that keeps
// sending (though it was accepted first of all).
TEST_F(HonestClients, AnUploadThatKeepsComingSurvivesAFloodOfIdleConnections) {
    const std::string drain = InstallProgram("cgi_drain", "drain");
    const size_t size = 256 * 1024;
    const int pieces = 16;
    std::string answer;
    int flooded = 0;
    qvtest::PumpWhile([&] {
        qvtest::StreamClient upload(qvtest::ServerAddress(), port_);
        upload.Send("POST /" + drain + " HTTP/1.0\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n");
        std::atomic<bool> sent{false};
        std::thread flood([&] {
            qvtest::HeldConnections idle;
            while (!sent) {
                const auto second = Clock::now();
                flooded += idle.Open(qvtest::ServerAddress(), port_, 200, "GET /page.htm HTTP/1.0\r\n");
                std::this_thread::sleep_until(second + std::chrono::seconds(1));
            }
        });
        for (int i = 0; i < pieces; ++i) {
            upload.Send(std::string(size / pieces, 'u'));
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        answer = ReadAll(upload, 20);
        sent = true;
        flood.join();
    });
    EXPECT_GT(flooded, 600);
    // The program counts the body and the line end after it (one byte in Windows text mode).
    const std::string body = qvtest::AnswerBody(answer);
    EXPECT_TRUE(body.rfind("262146", 0) == 0 || body.rfind("262145", 0) == 0) << answer.substr(0, 300);
}

// A program that writes for ever is ended once its output passes the cap
// (or at its time limit): its answer comes, and the disk stops filling.
TEST_F(HonestClients, AProgramThatWritesWithoutEndIsEnded) {
    const std::string endless = InstallProgram("cgi_endless", "endless");
    std::string answer;
    double seconds = 0;
    const auto start = Clock::now();
    qvtest::PumpWhile([&] {
        answer = qvtest::Talk(qvtest::ServerAddress(), port_, "GET /" + endless + " HTTP/1.0\r\n\r\n", 30000).received;
        seconds = SecondsSince(start);
    });
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << answer.substr(0, 200);
    EXPECT_NE(answer.find("endless"), std::string::npos);
    const auto free1 = std::filesystem::space(root_).available;
    qvtest::PumpFor(1500);
    const auto free2 = std::filesystem::space(root_).available;
    // A program left running would go on filling the disk at its full speed.
    EXPECT_LT(free1 > free2 ? free1 - free2 : 0, uintmax_t{32} << 20)
        << "the disk kept filling after the answer (" << seconds << " s)";
}

// An exchange file that cannot be made (here: its name is longer than the
// system takes, though the program's own is not) is tried again by a timer,
// and meanwhile everyone else is served.
TEST_F(HonestClients, ExchangeFilesThatCannotBeMadeHoldNobodyUp) {
    if (!qvtest::ProgramSuffix().empty()) GTEST_SKIP() << "the name lengths are those of Linux";
    // A directory whose own name leaves room for a short program name but not
    // for an exchange file's: the system's limit is 4096 bytes a name.
    std::filesystem::path deep = root_ / "cgi";
    while (4085 - deep.string().size() - 1 > 250) deep /= std::string(200, 'd');
    deep /= std::string(4085 - deep.string().size() - 1, 'e');
    std::filesystem::create_directories(deep);
    const std::string program = InstallProgram("cgi_silent", "p", deep);
    ASSERT_LT((deep / program).string().size(), 4096u);
    api().WEBSRVSETCGI((deep.string() + "/").c_str());
    std::string answer, page;
    double programSeconds = 0, pageSeconds = 0;
    const auto start = Clock::now();
    qvtest::PumpWhile([&] {
        std::thread pageClient([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            page = qvtest::Talk(qvtest::ServerAddress(), port_, "GET /page.htm HTTP/1.0\r\n\r\n", 20000).received;
            pageSeconds = SecondsSince(start);
        });
        answer = qvtest::Talk(qvtest::ServerAddress(), port_, "GET /" + program + " HTTP/1.0\r\n\r\n", 30000).received;
        programSeconds = SecondsSince(start);
        pageClient.join();
    });
    EXPECT_EQ(qvtest::WithoutValidators(page), PageAnswer());
    EXPECT_LT(pageSeconds, 2.0);
    // Five attempts a second apart, then the program runs without its files.
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << answer.substr(0, 200);
    EXPECT_GE(programSeconds, 3.5);
    std::printf("program answered after %.1f s, the page after %.1f s\n", programSeconds, pageSeconds);
}

// Many large posts at once: their bodies wait outside memory for their
// program's turn, so the server's memory stays flat and nothing is left behind.
TEST_F(HonestClients, ManyLargePostsKeepMemoryFlat) {
    const std::string drain = InstallProgram("cgi_drain", "drain");
    const size_t size = 1024 * 1024;
    const int clients = 100;
    const std::string request = "POST /" + drain + " HTTP/1.0\r\nContent-Length: " + std::to_string(size) +
                                "\r\n\r\n" + std::string(size, 'p');
    // A first post, so the server's own buffers are in place before the measure.
    qvtest::PumpWhile([&] { qvtest::Talk(qvtest::ServerAddress(), port_, request, 20000); });
    const size_t idle = qvtest::ResidentBytes();
    if (idle == 0) GTEST_SKIP() << "this system does not tell the memory of a process";
    qvtest::HeldConnections posts;
    size_t loaded = 0;
    qvtest::PumpWhile([&] {
        ASSERT_EQ(posts.Open(qvtest::ServerAddress(), port_, clients, request), clients);
        loaded = qvtest::ResidentBytes();
    });
    // Every answer read to its end.
    std::vector<std::string> answers(clients);
    int answered = 0;
    const auto giveUp = Clock::now() + std::chrono::seconds(60);
    while (answered < clients && Clock::now() < giveUp) {
        qvtest::PumpFor(50);
        answered = 0;
        for (int i = 0; i < clients; ++i) {
            answers[i] += posts.Received(i);
            answered += posts.ClosedByServer(i) ? 1 : 0;
        }
        const size_t now = qvtest::ResidentBytes();
        if (now > loaded) loaded = now;
    }
    const size_t after = qvtest::ResidentBytes();
    EXPECT_EQ(answered, clients);
    std::printf("memory: idle %zu MB, at most %zu MB, after %zu MB\n", idle >> 20, loaded >> 20, after >> 20);
    const std::string body = qvtest::AnswerBody(answers[clients - 1]);
    EXPECT_TRUE(body.rfind("1048578", 0) == 0 || body.rfind("1048577", 0) == 0) << body.substr(0, 100);
    if (!qvtest::kMemoryMeasurable) return;
    const size_t mb = 1024 * 1024;
    EXPECT_LT(loaded > idle ? (loaded - idle) / mb : 0, 64u) << "idle " << idle / mb << " MB";
    EXPECT_LT(after > idle ? (after - idle) / mb : 0, 32u) << "idle " << idle / mb << " MB";
}

}  // namespace
