// Programs that misbehave: one that floods its output, one that never ends,
// one that says nothing, one that reads its input to the end. Each gets a
// bounded answer and the server goes on answering.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "answer_checks.h"
#include "server_fixture.h"
#include "soak.h"

namespace {

using qvtest::Head;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const std::string kPage = "<p>next</p>";

class BadPrograms : public qvtest::ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        WriteFile(root_ / "docs" / "page.htm", kPage);
    }

    // Copies a test program into the program directory; the name to request.
    std::string Install(const std::string& program) {
        std::string name = program + (qvtest::ProgramSuffix().empty() ? ".cgi" : ".exe");
        fs::copy_file(qvtest::TestProgramPath(program), root_ / "cgi" / name);
        return name;
    }

    std::string PageAnswer() const { return Head("HTTP/1.0 200 OK", "text/html", kPage.size()) + kPage + "\r\n\r\n"; }

    static double SecondsSince(Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    }
};

// The whole output, with its true length, not its first 10,000 bytes under 200.
TEST_F(BadPrograms, MegabyteOfOutputComesBackWhole) {
    const std::string program = Install("cgi_flood");
    std::string output;
    for (int offset = 0; offset < 1048580; offset += 10) {
        char record[16];
        std::snprintf(record, sizeof record, "%09d.", offset);
        output += record;
    }
    const std::string expected = Head("HTTP/1.0 200 OK", "text/html", 1048580) + output + "\r\n\r\n";
    EXPECT_TRUE(Get("/" + program) == expected);
    EXPECT_TRUE(Ask("POST /" + program + " HTTP/1.0\r\n\r\nq=1\r\n") == expected);
    EXPECT_EQ(Get("/page.htm"), PageAnswer());
}

// The program outlives the 10-s wait: it is ended and its client gets 504,
// and a client that came meanwhile is answered while it runs.
TEST_F(BadPrograms, ProgramThatNeverEndsIsAnsweredAfterTheWait) {
    if (!qvtest::SoakRun()) GTEST_SKIP() << qvtest::kSoakOnly;
    const std::string program = Install("cgi_sleepy");
    qvtest::Exchange slow;
    qvtest::Exchange next;
    double slowSeconds = 0;
    double nextSeconds = 0;
    const auto start = Clock::now();
    qvtest::PumpWhile([&] {
        std::thread waiting([&] {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            next = qvtest::Talk(qvtest::ServerAddress(), port_, "GET /page.htm HTTP/1.0\r\n\r\n", 30000);
            nextSeconds = SecondsSince(start);
        });
        slow = qvtest::Talk(qvtest::ServerAddress(), port_, "GET /" + program + " HTTP/1.0\r\n\r\n", 30000);
        slowSeconds = SecondsSince(start);
        waiting.join();
    });
    EXPECT_EQ(slow.received.rfind("HTTP/1.0 504 Gateway Timeout\r\n", 0), 0u) << slow.received;
    EXPECT_EQ(slow.received.find("started"), std::string::npos) << slow.received;
    EXPECT_TRUE(slow.closedByServer);
    // The program sleeps for 15 s: an answer before that came from the wait, not from its end.
    EXPECT_GE(slowSeconds, 9.5);
    EXPECT_LT(slowSeconds, 14.5);
    EXPECT_EQ(qvtest::WithoutValidators(next.received), PageAnswer());
    EXPECT_LT(nextSeconds, 6.0);
    std::printf("program wait: answered after %.1f s, the next client after %.1f s\n", slowSeconds, nextSeconds);
}

TEST_F(BadPrograms, SilentProgramAnswersEmptyWhateverItWasSent) {
    const std::string program = Install("cgi_silent");
    const std::string empty = Head("HTTP/1.0 200 OK", "text/html", 0) + "\r\n\r\n";
    const std::string requests[] = {
        "GET /" + program + "?" + std::string(900, 'q') + " HTTP/1.0\r\n\r\n",
        "POST /" + program + " HTTP/1.0\r\n\r\nline=1\r\n",
        "POST /" + program + " HTTP/1.0\r\n\r\n" + std::string(100000, 'z'),
    };
    for (const std::string& request : requests) EXPECT_EQ(Ask(request), empty) << request.substr(0, 60);
}

// The program reads its whole input: exactly the query line and its end, so
// it ends at once instead of waiting for more.
TEST_F(BadPrograms, ProgramReadingToTheEndSeesOnlyTheQueryLine) {
    const std::string program = Install("cgi_drain");
    struct Case {
        std::string request;
        size_t line;
    } cases[] = {
        {"GET /" + program + " HTTP/1.0\r\n\r\n", 0},
        {"GET /" + program + "?a=1&b=2 HTTP/1.0\r\n\r\n", 7},
        {"POST /" + program + " HTTP/1.0\r\n\r\nx=" + std::string(500, 'x') + "\r\nsecond line\r\n", 502},
        {"POST /" + program + " HTTP/1.0\r\n\r\nno line end", 11},
    };
    for (const Case& c : cases) {
        const auto start = Clock::now();
        std::string got = Ask(c.request);
        ASSERT_EQ(got.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << got.substr(0, 100);
        std::string count = qvtest::AnswerBody(got);
        count = count.substr(0, count.find('\r'));
        // CR LF, which Windows text mode reads as one byte.
        EXPECT_TRUE(count == std::to_string(c.line + 2) || count == std::to_string(c.line + 1))
            << c.request.substr(0, 40) << ": read " << count;
        EXPECT_LT(SecondsSince(start), 5.0) << "the program waited for more input";
    }
}

}  // namespace
