// Many clients at once: idle, half-sent, stalled and slow connections, and
// programs that take their time, hold nobody else up; a connection keeps its
// slot from accept to close, and the host still gets its requests one at a
// time on the loading thread.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "exclusive_file.h"
#include "held_connections.h"
#include "process_memory.h"
#include "server_fixture.h"

namespace {

using qvtest::api;
using qvtest::Head;
using Clock = std::chrono::steady_clock;

const std::string kPageRequest = "GET /page.htm HTTP/1.0\r\n\r\n";
const std::string kHalfHeader = "GET /page.htm HTTP/1.0\r\nHost: h\r\n";

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

class Concurrency : public qvtest::PageServerFixture {
protected:
    qvtest::Exchange Fetch(const std::string& request, int timeoutMs = 20000) {
        return qvtest::Talk(qvtest::ServerAddress(), port_, request, timeoutMs);
    }

    // Waits, pumping, until `done` holds or `timeoutMs` passes.
    template <typename Condition>
    static bool PumpUntil(Condition done, int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (Clock::now() >= deadline) return false;
            qvtest::PumpFor(20);
        }
        return true;
    }
};

// A client that connects and then sends nothing, or only part of its
// header, keeps its connection; everyone else is answered meanwhile.
TEST_F(Concurrency, IdleAndHalfSentConnectionsHoldNobody) {
    struct Case {
        const char* what;
        int count;
        std::string bytes;
    };
    const Case cases[] = {
        {"one silent connection", 1, ""},
        {"one half-sent header", 1, kHalfHeader},
        {"450 silent connections", 450, ""},
        {"450 half-sent headers", 450, kHalfHeader},
    };
    for (const Case& c : cases) {
        qvtest::HeldConnections held;
        qvtest::Exchange answered;
        double seconds = 0;
        qvtest::PumpWhile([&] {
            ASSERT_EQ(held.Open(qvtest::ServerAddress(), port_, c.count, c.bytes), c.count) << c.what;
            const auto start = Clock::now();
            answered = Fetch(kPageRequest);
            seconds = SecondsSince(start);
        });
        EXPECT_EQ(qvtest::WithoutValidators(answered.received), PageAnswer()) << c.what;
        EXPECT_LT(seconds, 10.0) << c.what;
        EXPECT_EQ(held.CountClosedByServer(), 0) << c.what << ": the waiting connections stay open";
    }
}

// With more connections than slots, each newcomer takes the slot of the one
// that has waited longest for its header, which is closed unanswered.
TEST_F(Concurrency, MoreConnectionsThanSlotsCloseTheLongestWaiting) {
    const int count = 520;
    const int slots = 501;
    qvtest::HeldConnections held;
    qvtest::Exchange answered;
    qvtest::PumpWhile([&] {
        ASSERT_EQ(held.Open(qvtest::ServerAddress(), port_, count, kHalfHeader), count);
        answered = Fetch(kPageRequest);
    });
    EXPECT_EQ(qvtest::WithoutValidators(answered.received), PageAnswer());
    // The 19 beyond the table and the client's own slot: the oldest 20 are gone.
    const int evicted = count - slots + 1;
    EXPECT_TRUE(PumpUntil([&] { return held.CountClosedByServer() >= evicted; }, 5000));
    for (int i = 0; i < count; ++i) EXPECT_EQ(held.ClosedByServer(i), i < evicted) << "connection " << i;

    // Silent ones, above the table too: the client is still answered.
    held.CloseAll();
    qvtest::PumpWhile([&] {
        ASSERT_EQ(held.Open(qvtest::ServerAddress(), port_, count, ""), count);
        answered = Fetch(kPageRequest);
    });
    EXPECT_EQ(qvtest::WithoutValidators(answered.received), PageAnswer());
}

// A kept connection waiting for its next request is the first to give up its
// slot when every slot is taken, before clients still sending their request
// (which here have sent nothing for longer).
TEST_F(Concurrency, KeptConnectionsWaitingForTheirNextRequestGiveUpTheirSlotFirst) {
    const int slots = 501;
    const int kept = 5;
    qvtest::HeldConnections halfSent, keptOnes;
    qvtest::PumpWhile([&] {
        ASSERT_EQ(halfSent.Open(qvtest::ServerAddress(), port_, slots - kept, kHalfHeader), slots - kept);
    });
    qvtest::PumpWhile([&] {
        ASSERT_EQ(keptOnes.Open(qvtest::ServerAddress(), port_, kept, "GET /page.htm HTTP/1.1\r\nHost: h\r\n\r\n"), kept);
    });
    std::vector<std::string> answers(kept);
    EXPECT_TRUE(PumpUntil([&] {
        bool all = true;
        for (int i = 0; i < kept; ++i) {
            answers[i] += keptOnes.Received(i);
            all = all && answers[i].find(kPage) != std::string::npos;
        }
        return all;
    }, 10000));
    qvtest::Exchange answered;
    qvtest::PumpWhile([&] { answered = Fetch(kPageRequest); });
    EXPECT_EQ(qvtest::WithoutValidators(answered.received), PageAnswer());
    EXPECT_TRUE(PumpUntil([&] { return keptOnes.CountClosedByServer() >= 1; }, 5000));
    EXPECT_EQ(keptOnes.CountClosedByServer(), 1);
    EXPECT_EQ(halfSent.CountClosedByServer(), 0);
}

// Every slot held by a request being answered (here: waiting for its
// program's turn): a newcomer is told the server is busy, and closed.
TEST_F(Concurrency, BusyWhenEverySlotIsBeingAnswered) {
    const std::string program = InstallProgram("cgi_sleepy", "sleepy");
    qvtest::HeldConnections held;
    qvtest::Exchange refused;
    qvtest::PumpWhile([&] {
        ASSERT_EQ(held.Open(qvtest::ServerAddress(), port_, 501, "GET /" + program + " HTTP/1.0\r\n\r\n"), 501);
        refused = Fetch(kPageRequest);
    });
    const std::string status = "HTTP/1.0 503 Service Unavailable\r\n";
    ASSERT_EQ(refused.received.compare(0, status.size(), status), 0) << refused.received;
    const size_t bodyStart = refused.received.find("\r\n\r\n");
    ASSERT_NE(bodyStart, std::string::npos);
    const std::string body = refused.received.substr(bodyStart + 4);
    EXPECT_EQ(refused.received, Head("HTTP/1.0 503 Service Unavailable", "text/html", body.size() - 2) + body);
    EXPECT_NE(body.find("<title>HTTP 503 Service Unavailable</title>"), std::string::npos);
    EXPECT_TRUE(refused.closedByServer);
}

TEST_F(Concurrency, HeaderArrivingInPiecesIsAnswered) {
    const std::string request = "GET /page.htm HTTP/1.0\r\nHost: h\r\nUser-Agent: slow\r\n\r\n";
    EXPECT_EQ(Ask(request, 3, 400), PageAnswer());
}

// A client that takes nothing of a large file holds neither the other
// clients nor memory in proportion to the file.
TEST_F(Concurrency, StalledDownloadHoldsNobodyAndNoMemory) {
    const size_t size = size_t{64} << 20;
    {
        std::ofstream out(root_ / "docs" / "big.dat", std::ios::binary);
        const std::string block(1 << 20, 'x');
        for (size_t written = 0; written < size; written += block.size()) out << block;
    }
    qvtest::HeldConnections stalled;
    qvtest::Exchange answered;
    size_t before = 0, after = 0;
    qvtest::PumpWhile([&] {
        // A first small answer, so the server's own buffers are in place before the measure.
        Fetch(kPageRequest);
        before = qvtest::ResidentBytes();
        ASSERT_EQ(stalled.Open(qvtest::ServerAddress(), port_, 2, "GET /big.dat HTTP/1.0\r\n\r\n"), 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        answered = Fetch(kPageRequest);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        after = qvtest::ResidentBytes();
    });
    EXPECT_EQ(qvtest::WithoutValidators(answered.received), PageAnswer());
    // The download did begin: the file's answer, cut where the client stopped taking it.
    const std::string taken = stalled.Received(0);
    EXPECT_EQ(taken.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << taken.substr(0, 200);
    EXPECT_NE(taken.find("Content-Length: " + std::to_string(size) + "\r\n"), std::string::npos);
    EXPECT_GT(taken.size(), size_t{64} << 10);
    EXPECT_LT(taken.size(), size);
    if (before != 0 && after != 0) {
        EXPECT_LT(after, before + (size_t{16} << 20)) << "resident size grew from " << before << " to " << after;
    }
}

// A file locked by someone else is tried again on its connection's timer
// until it opens; everyone else is served meanwhile.
TEST_F(Concurrency, LockedFileIsRetriedWhileOthersAreServed) {
    const std::string body = "open at last";
    WriteFile(root_ / "docs" / "locked.htm", body);
    qvtest::ExclusiveFile lock;
    if (!lock.Hold((root_ / "docs" / "locked.htm").string())) GTEST_SKIP() << "this system keeps no one out of an open file";
    qvtest::Exchange locked, other;
    double lockedSeconds = 0, otherSeconds = 0;
    qvtest::PumpWhile([&] {
        const auto start = Clock::now();
        std::thread waiting([&] {
            locked = Fetch("GET /locked.htm HTTP/1.0\r\n\r\n");
            lockedSeconds = SecondsSince(start);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other = Fetch(kPageRequest);
        otherSeconds = SecondsSince(start);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        lock.Release();
        waiting.join();
    });
    EXPECT_EQ(qvtest::WithoutValidators(other.received), PageAnswer());
    EXPECT_EQ(qvtest::WithoutValidators(locked.received), Head("HTTP/1.0 200 OK", "text/html", body.size()) + body + "\r\n\r\n");
    EXPECT_GE(lockedSeconds, 1.7);
    EXPECT_LT(otherSeconds, 1.5);
}

// Two lines "begin=MS end=MS" of the pause program's output.
struct ProgramSpan {
    long long begin = -1, end = -1;
};

ProgramSpan SpanOf(const std::string& answer) {
    ProgramSpan span;
    const size_t at = answer.find("begin=");
    if (at != std::string::npos) std::sscanf(answer.c_str() + at, "begin=%lld end=%lld", &span.begin, &span.end);
    return span;
}

// A program that takes 3 s: static clients are answered meanwhile.
TEST_F(Concurrency, StaticClientIsAnsweredWhileAProgramRuns) {
    const std::string program = InstallProgram("cgi_pause", "pause");
    qvtest::Exchange fromProgram, fromFile;
    double programSeconds = 0, fileSeconds = 0;
    qvtest::PumpWhile([&] {
        const auto start = Clock::now();
        std::thread slow([&] {
            fromProgram = Fetch("GET /" + program + " HTTP/1.0\r\n\r\n");
            programSeconds = SecondsSince(start);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        fromFile = Fetch(kPageRequest);
        fileSeconds = SecondsSince(start);
        slow.join();
    });
    EXPECT_EQ(qvtest::WithoutValidators(fromFile.received), PageAnswer());
    const ProgramSpan span = SpanOf(fromProgram.received);
    EXPECT_GE(span.end - span.begin, 2900) << fromProgram.received;
    EXPECT_LT(fileSeconds + 1.0, programSeconds) << "the file's client waited for the program";
}

// Programs still run one at a time, in arrival order.
TEST_F(Concurrency, TwoProgramsRunOneAfterTheOther) {
    const std::string program = InstallProgram("cgi_pause", "pause");
    qvtest::Exchange first, second;
    qvtest::PumpWhile([&] {
        std::thread other([&] { first = Fetch("GET /" + program + " HTTP/1.0\r\n\r\n"); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        second = Fetch("GET /" + program + " HTTP/1.0\r\n\r\n");
        other.join();
    });
    const ProgramSpan a = SpanOf(first.received), b = SpanOf(second.received);
    ASSERT_GE(a.end, 0) << first.received;
    ASSERT_GE(b.end, 0) << second.received;
    EXPECT_GE(b.begin, a.end) << "the second program started before the first had ended";
}

// With the "programs" setting at N, up to N programs run side by side and
// the rest wait their turn in arrival order; files are served meanwhile.
TEST_F(Concurrency, ProgramsRunSideBySideUpToTheSetting) {
    const std::string program = InstallProgram("cgi_pause", "pause");
    struct Case {
        int atOnce;
        int requests;
        int pauseMs;
    } cases[] = {{4, 8, 1000}, {1, 3, 300}};
    for (const Case& c : cases) {
        RestartWith("programs", std::to_string(c.atOnce));
        std::vector<qvtest::Exchange> answers(static_cast<size_t>(c.requests));
        qvtest::Exchange page;
        qvtest::PumpWhile([&] {
            std::vector<std::thread> clients;
            for (int i = 0; i < c.requests; ++i) {
                clients.emplace_back([&, i] {
                    answers[static_cast<size_t>(i)] =
                        Fetch("GET /" + program + "?" + std::to_string(c.pauseMs) + " HTTP/1.0\r\n\r\n");
                });
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            page = Fetch(kPageRequest);
            for (std::thread& t : clients) t.join();
        });
        EXPECT_EQ(qvtest::WithoutValidators(page.received), PageAnswer()) << c.atOnce;
        std::vector<ProgramSpan> spans;
        for (const qvtest::Exchange& answer : answers) {
            spans.push_back(SpanOf(answer.received));
            ASSERT_GE(spans.back().end, 0) << c.atOnce << ": " << answer.received;
        }
        // The most programs running at any one moment: at some program's start.
        int most = 0;
        for (const ProgramSpan& at : spans) {
            int running = 0;
            for (const ProgramSpan& other : spans) running += other.begin <= at.begin && at.begin < other.end;
            most = std::max(most, running);
        }
        EXPECT_EQ(most, c.atOnce) << "programs at once with the setting at " << c.atOnce;
        // One at a time, they start in the order their requests came.
        if (c.atOnce == 1) {
            for (size_t i = 1; i < spans.size(); ++i) EXPECT_GE(spans[i].begin, spans[i - 1].end) << "request " << i;
        }
    }
}

// What the callback saw: hand-offs under way at once, and on which thread.
std::atomic<int> gInside{0};
std::atomic<int> gMostInside{0};
std::atomic<bool> gOffThread{false};
std::thread::id gLoopThread;

int32_t QV_CALL CountingCallback(int32_t slot, const char*, int32_t, const char* request, int32_t length) {
    const int inside = ++gInside;
    int most = gMostInside.load();
    while (inside > most && !gMostInside.compare_exchange_weak(most, inside)) {
    }
    if (std::this_thread::get_id() != gLoopThread) gOffThread = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::string field(request, static_cast<size_t>(length));
    field.erase(field.find_last_not_of(' ') + 1);
    api().PostResponse(slot, ("for " + field).c_str());
    --gInside;
    return 1;
}

TEST_F(Concurrency, CallbackGetsEachRequestAloneOnTheLoopThread) {
    gInside = 0;
    gMostInside = 0;
    gOffThread = false;
    gLoopThread = std::this_thread::get_id();
    ASSERT_EQ(api().SetServerCallback(&CountingCallback), 0);
    const int clients = 12;
    qvtest::HeldConnections idle;
    std::vector<qvtest::Exchange> answers(clients);
    qvtest::PumpWhile([&] {
        ASSERT_EQ(idle.Open(qvtest::ServerAddress(), port_, 20, ""), 20);
        std::vector<std::thread> threads;
        for (int i = 0; i < clients; ++i) {
            threads.emplace_back([&, i] { answers[i] = Fetch("GET /c" + std::to_string(i) + ".htm HTTP/1.0\r\n\r\n"); });
        }
        for (std::thread& t : threads) t.join();
    });
    for (int i = 0; i < clients; ++i) {
        const std::string& got = answers[i].received;
        EXPECT_EQ(got.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << i << ": " << got;
        for (int j = 0; j < clients; ++j) {
            const bool own = got.find("for c" + std::to_string(j) + ".htm") != std::string::npos;
            EXPECT_EQ(own, i == j) << "client " << i << " got: " << got;
        }
    }
    EXPECT_EQ(gMostInside.load(), 1) << "hand-offs overlapped";
    EXPECT_FALSE(gOffThread.load()) << "a hand-off ran off the loading thread";
}

// A stop closes every open connection, answered or not; a new start serves afresh.
TEST_F(Concurrency, StopClosesEveryConnectionAndAStartServesAfresh) {
    const size_t size = size_t{16} << 20;
    {
        std::ofstream out(root_ / "docs" / "big.dat", std::ios::binary);
        out << std::string(size, 'y');
    }
    qvtest::HeldConnections held;
    qvtest::PumpWhile([&] {
        ASSERT_EQ(held.Open(qvtest::ServerAddress(), port_, 3, ""), 3);
        ASSERT_EQ(held.Open(qvtest::ServerAddress(), port_, 3, kHalfHeader), 3);
        ASSERT_EQ(held.Open(qvtest::ServerAddress(), port_, 3, "GET /big.dat HTTP/1.0\r\n\r\n"), 3);
        // Long enough for a system that reports silent connections late to have reported them.
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    });
    api().ServerStop();
    std::vector<std::string> received(held.size());
    // Whatever was sent before the stop is taken first; then each one's end must show.
    EXPECT_TRUE(PumpUntil(
        [&] {
            int ended = 0;
            for (size_t i = 0; i < held.size(); ++i) {
                received[i] += held.Received(i);
                ended += held.ClosedByServer(i) ? 1 : 0;
            }
            return ended == static_cast<int>(held.size());
        },
        5000));
    for (size_t i = 0; i < held.size(); ++i) EXPECT_TRUE(held.ClosedByServer(i)) << "connection " << i;
    for (size_t i = 6; i < held.size(); ++i) {
        EXPECT_EQ(received[i].rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << "the download never began";
        EXPECT_LT(received[i].size(), size) << "a stopped download ran to its end";
    }
    ASSERT_EQ(api().ServerStart(port_), 0);
    EXPECT_EQ(Get("/page.htm"), PageAnswer());
}

}  // namespace
