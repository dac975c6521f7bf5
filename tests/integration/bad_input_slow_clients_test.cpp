// Slow clients hold only their own connection: one that sends nothing is
// closed unanswered at the receive time-out, one that sends its request in
// slow pieces is answered once it is all in, and the client behind either is
// answered at once.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "server_fixture.h"
#include "soak.h"

namespace {

using qvtest::Head;
using Clock = std::chrono::steady_clock;

const std::string kPage = "<p>patient</p>";

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

class SlowClients : public qvtest::ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        WriteFile(root_ / "docs" / "page.htm", kPage);
    }

    std::string PageAnswer() const { return Head("HTTP/1.0 200 OK", "text/html", kPage.size()) + kPage + "\r\n\r\n"; }

    struct Outcome {
        qvtest::Exchange slow;
        qvtest::Exchange next;
        double slowSeconds = 0;  // from the slow client's connect to the end of its connection
        double nextSeconds = 0;  // from the slow client's connect to the next client's answer
    };

    // The slow client sends its pieces; half a second after it connected, the next client asks for the page.
    Outcome SlowThenNext(const std::vector<std::string>& pieces, int pauseMs) {
        Outcome outcome;
        const auto start = Clock::now();
        qvtest::PumpWhile([&] {
            std::thread next([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                outcome.next = qvtest::Talk(qvtest::ServerAddress(), port_, "GET /page.htm HTTP/1.0\r\n\r\n", 90000);
                outcome.nextSeconds = SecondsSince(start);
            });
            outcome.slow = qvtest::TalkInPieces(qvtest::ServerAddress(), port_, pieces, pauseMs, 90000);
            outcome.slowSeconds = SecondsSince(start);
            next.join();
        });
        return outcome;
    }
};

// A client that stops short, silent from the start or inside a POST body it
// announced, is closed without an answer at the documented receive time-out
// (about 58.6 s; no program starts), and the client behind it is answered at once.
TEST_F(SlowClients, ClientThatStopsShortIsClosedAtTheReceiveTimeOutAndHoldsNobody) {
    if (!qvtest::SoakRun()) GTEST_SKIP() << qvtest::kSoakOnly;
    const std::string program = "echo" + std::string(qvtest::ProgramSuffix().empty() ? ".cgi" : ".exe");
    std::filesystem::copy_file(qvtest::TestProgramPath("cgi_echo"), root_ / "cgi" / program);
    struct Case {
        const char* what;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"silent client", {}},
        {"stalled POST body", {"POST /" + program + " HTTP/1.0\r\nContent-Length: 100\r\n\r\nonly=part"}},
    };
    for (const Case& c : cases) {
        Outcome got = SlowThenNext(c.pieces, 0);
        std::printf("%s closed after %.1f s, the next client answered after %.1f s\n", c.what, got.slowSeconds,
                    got.nextSeconds);
        EXPECT_EQ(got.slow.received, "") << c.what;
        EXPECT_TRUE(got.slow.closedByServer) << c.what;
        EXPECT_GE(got.slowSeconds, 55.0) << c.what;
        EXPECT_LE(got.slowSeconds, 70.0) << c.what;
        EXPECT_EQ(qvtest::WithoutValidators(got.next.received), PageAnswer()) << c.what;
        EXPECT_LT(got.nextSeconds, 10.0) << c.what << ": the next client waited for the slow one";
    }
}

// A client that stalls inside its header, or trickles it, is answered once
// the header is in; the client behind it is answered while it is still sending.
TEST_F(SlowClients, StalledOrTricklingClientIsAnsweredOnceItsHeaderIsIn) {
    const std::string request = "GET /page.htm HTTP/1.0\r\nHost: h\r\n\r\n";
    struct Case {
        const char* what;
        std::vector<std::string> pieces;
        int pauseMs;
    } cases[] = {
        {"stalls after the request line", {"GET /page.htm HTTP/1.0\r\n", "Host: h\r\n\r\n"}, 3000},
        {"trickles the request in ten pieces", qvtest::SplitIntoPieces(request, 10), 300},
    };
    for (const Case& c : cases) {
        Outcome got = SlowThenNext(c.pieces, c.pauseMs);
        EXPECT_EQ(qvtest::WithoutValidators(got.slow.received), PageAnswer()) << c.what;
        EXPECT_EQ(qvtest::WithoutValidators(got.next.received), PageAnswer()) << c.what;
        EXPECT_LT(got.nextSeconds + 1.0, got.slowSeconds) << c.what << ": the next client waited for the slow one";
    }
}

}  // namespace
