// Clients that leave, and hosts that pump: a client that is gone gives back
// its slot, socket and file at once, whatever was under way for it, and an
// answer posted for a slot reaches only the request the host had.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "held_connections.h"
#include "server_fixture.h"
#include "stream_client.h"

namespace {

using qvtest::api;
using qvtest::Head;
using Clock = std::chrono::steady_clock;

class GoneClients : public qvtest::PageServerFixture {
protected:
    // Pumps until the process holds no more than `most` handles; the count then.
    static long PumpUntilHandlesAtMost(long most, int timeoutMs) {
        const auto giveUp = Clock::now() + std::chrono::milliseconds(timeoutMs);
        long count = qvtest::OpenHandleCount();
        while (count > most && Clock::now() < giveUp) {
            qvtest::PumpFor(20);
            count = qvtest::OpenHandleCount();
        }
        return count;
    }

    // Every byte of a fresh request for the page, and how long it took.
    std::string TimedPage(double& seconds) {
        const auto start = Clock::now();
        std::string got = Get("/page.htm");
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return got;
    }
};

// A download the client resets after its first bytes (a cancelled download,
// a seek in a video) is closed at once: its socket and open file are given
// back, and nobody waits for the send time-out.
TEST_F(GoneClients, AbortedDownloadsGiveEverythingBackAtOnce) {
    WriteFile(root_ / "docs" / "big.dat", std::string(size_t{8} << 20, 'd'));
    ASSERT_EQ(Get("/page.htm"), PageAnswer());
    const long before = qvtest::OpenHandleCount();
    if (before < 0) GTEST_SKIP() << "this system does not tell the handles of a process";
    const int aborts = 300;
    int started = 0;
    qvtest::PumpWhile([&] {
        for (int i = 0; i < aborts; ++i) {
            qvtest::StreamClient client(qvtest::ServerAddress(), port_);
            client.Send("GET /big.dat HTTP/1.0\r\n\r\n");
            if (client.Drain(64 * 1024, 0, 5000) >= 64 * 1024) ++started;
            client.Reset();
        }
    });
    EXPECT_EQ(started, aborts);
    // Two handles per download (socket and file) would be held for a minute.
    const long after = PumpUntilHandlesAtMost(before + 8, 3000);
    EXPECT_LE(after, before + 8) << "handles before the aborts: " << before;
    double seconds = 0;
    EXPECT_EQ(qvtest::WithoutValidators(TimedPage(seconds)), PageAnswer());
    EXPECT_LT(seconds, 2.0);
}

// Requests for a slow program whose clients close at once: each is dropped
// from the program queue, a program started for one is ended, and the slots
// are free for the next clients (601 of them would otherwise fill the table
// for ten seconds each, and everyone else would be told the server is busy).
TEST_F(GoneClients, AbandonedProgramRequestsHoldNoSlot) {
    const std::string program = InstallProgram("cgi_sleepy", "sleepy");
    ASSERT_EQ(Get("/page.htm"), PageAnswer());
    const long before = qvtest::OpenHandleCount();
    qvtest::PumpWhile([&] {
        for (int i = 0; i < 601; ++i) {
            qvtest::StreamClient client(qvtest::ServerAddress(), port_);
            client.Send("GET /" + program + " HTTP/1.0\r\n\r\n");
            client.Close();
        }
    });
    double seconds = 0;
    EXPECT_EQ(qvtest::WithoutValidators(TimedPage(seconds)), PageAnswer());
    EXPECT_LT(seconds, 2.0);
    if (before >= 0) {
        const long after = PumpUntilHandlesAtMost(before + 8, 3000);
        EXPECT_LE(after, before + 8) << "handles before: " << before;
    }
}

// The first client's request, with the host while it pumps messages.
std::atomic<int> gCalls{0};
qvtest::StreamClient* gFirst = nullptr;
uint16_t gPort = 0;
qvtest::HeldConnections* gHeld = nullptr;
qvtest::StreamClient* gSecond = nullptr;
std::string gRequestBefore, gRequestAfter;

int32_t QV_CALL PumpingCallback(int32_t slot, const char*, int32_t, const char* request, int32_t length) {
    const std::string field(request, static_cast<size_t>(length));
    if (field.rfind("first.htm", 0) != 0) return 0;  // the others are declined: their file is served
    ++gCalls;
    gRequestBefore = qvtest::TakeString(api().WEBSRVGETREQUEST(slot));
    // The client leaves while the host has its request; newcomers take every
    // other slot, and then one more comes.
    gFirst->Reset();
    qvtest::PumpFor(200);
    std::atomic<bool> done{false};
    std::thread newcomers([&] {
        gHeld->Open(qvtest::ServerAddress(), gPort, 500, "GET /page.htm HTTP/1.0\r\n");
        gSecond = new qvtest::StreamClient(qvtest::ServerAddress(), gPort);
        gSecond->Send("GET /second.htm HTTP/1.0\r\n\r\n");
        done = true;
    });
    while (!done) qvtest::PumpFor(20);
    newcomers.join();
    qvtest::PumpFor(300);
    // The slot is still the first request's: nobody else can have taken it.
    gRequestAfter = qvtest::TakeString(api().WEBSRVGETREQUEST(slot));
    // The host answers the request it was given, for the slot it was given.
    api().PostResponse(slot, "SECRET-meant-for-the-first-client");
    return 1;
}

TEST_F(GoneClients, AnAnswerForAClientThatLeftReachesNobodyElse) {
    WriteFile(root_ / "docs" / "second.htm", "second");
    ASSERT_EQ(api().SetServerCallback(&PumpingCallback), 0);
    qvtest::HeldConnections held;
    gHeld = &held;
    gPort = port_;
    gCalls = 0;
    std::string second;
    qvtest::PumpWhile([&] {
        qvtest::StreamClient first(qvtest::ServerAddress(), port_);
        gFirst = &first;
        // Bytes after the request: the reset is then learnt from a failed receive.
        first.Send("GET /first.htm HTTP/1.0\r\n\r\nmore");
        const auto giveUp = Clock::now() + std::chrono::seconds(20);
        while (gSecond == nullptr && Clock::now() < giveUp) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (gSecond == nullptr) return;
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (!gSecond->closedByServer() && Clock::now() < end) second += gSecond->Read(65536, 100);
    });
    ASSERT_NE(gSecond, nullptr);
    EXPECT_EQ(gCalls.load(), 1);
    EXPECT_EQ(gRequestBefore.rfind("first.htm", 0), 0u) << gRequestBefore;
    EXPECT_EQ(gRequestAfter, gRequestBefore);
    held.CloseAll();
    delete gSecond;
    gSecond = nullptr;
    // The second client's request was declined by the host: its own file, never the first's answer.
    EXPECT_EQ(second.find("SECRET"), std::string::npos) << second;
    EXPECT_EQ(qvtest::WithoutValidators(second), Head("HTTP/1.0 200 OK", "text/html", 6) + "second\r\n\r\n");
}

// An answer posted when no request of the slot is with the host (late, or
// for a request already answered) is dropped, even if a new client holds the
// slot by then.
int32_t QV_CALL DecliningCallback(int32_t, const char*, int32_t, const char*, int32_t) { return 0; }

TEST_F(GoneClients, ALatePostNeverReplacesTheNextClientsFile) {
    ASSERT_EQ(api().SetServerCallback(&DecliningCallback), 0);
    std::string got;
    qvtest::PumpWhile([&] {
        qvtest::StreamClient next(qvtest::ServerAddress(), port_);
        // Accepted, its slot taken, its request not yet whole.
        next.Send("GET /page.htm HTTP/1.0\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (int32_t slot = 0; slot <= 500; ++slot) api().PostResponse(slot, "LATE");
        next.Send("\r\n");
        const auto giveUp = Clock::now() + std::chrono::seconds(10);
        while (!next.closedByServer() && Clock::now() < giveUp) got += next.Read(65536, 100);
    });
    EXPECT_EQ(qvtest::WithoutValidators(got), PageAnswer());
}

}  // namespace
