// Channel numbers roll from 1 to 32,767 and wrap; slots are 0..500. The
// counter is started near each boundary, so a few hundred connections cross
// what thousands would take in a fresh process.
#include <gtest/gtest.h>

#include <string>

#include "in_process_server.h"
#include "process_memory.h"

namespace {

namespace server = qv::server;

int32_t gLastSlot = -1;
int32_t QV_CALL RecordSlot(int32_t slot, const char*, int32_t, const char*, int32_t) {
    gLastSlot = slot;
    return 0;
}

class ChannelNumbers : public qvtest::InProcessServer {
protected:
    void SetUp() override {
        InProcessServer::SetUp();
        std::ofstream(dir_ + "/docs/n.htm") << "N";
    }
    // The server started again, its first connection given channel number
    // `first`; later starts go on from wherever the counter then is.
    void StartAgainFrom(int16_t first) {
        server::Stop();
        server::TableOptions options = Options();
        options.firstChannelNumber = first;
        server::UseTableOptions(options);
        ASSERT_EQ(server::Start(port_), 0);
        server::UseTableOptions(Options());
    }
    static bool IsPage(const std::string& answer) {
        return answer.rfind("HTTP/1.0 200 OK\r\n", 0) == 0 && answer.size() > 7 &&
               answer.compare(answer.size() - 5, 5, "N\r\n\r\n") == 0;
    }
};

// Past the slot table (500) and past the wrap (32,767), with the server
// stopped and started again meanwhile: every request answered, in a slot of the table.
TEST_F(ChannelNumbers, RequestsAreAnsweredInTheTableAsNumbersPassItAndWrap) {
    ASSERT_TRUE(server::SetRequestCallback(&RecordSlot));
    for (const int16_t first : {int16_t{481}, int16_t{32741}}) {
        StartAgainFrom(first);
        if (HasFatalFailure()) return;
        for (int i = 0; i < 60; ++i) {
            if (i % 20 == 10) {
                server::Stop();
                ASSERT_EQ(server::Start(port_), 0);
            }
            gLastSlot = -1;
            const std::string answer = Ask("GET /n.htm HTTP/1.0\r\n\r\n");
            EXPECT_TRUE(IsPage(answer)) << "first " << first << ", request " << i << ": " << answer.substr(0, 60);
            EXPECT_GE(gLastSlot, 0) << "first " << first << ", request " << i;
            EXPECT_LE(gLastSlot, 500) << "first " << first << ", request " << i;
        }
    }
}

// Thousands of connections in a row, across the wrap: each answered right,
// and the memory they leave behind flat once the first thousand settled it.
TEST_F(ChannelNumbers, ManyConnectionsInARowKeepAnswersRightAndMemoryFlat) {
    const int kTotal = 3000;
    const int kSettled = 1000;
    const size_t kMargin = 512 * 1024;
    StartAgainFrom(32767 - 1499);  // the wrap comes halfway
    if (HasFatalFailure()) return;
    int wrong = 0;
    std::string firstWrong;
    size_t settled = 0;
    for (int i = 1; i <= kTotal; ++i) {
        const std::string answer = Ask("GET /n.htm HTTP/1.0\r\n\r\n");
        if (!IsPage(answer) && wrong++ == 0) firstWrong = std::to_string(i) + ": " + answer.substr(0, 60);
        if (i == kSettled) settled = qvtest::ResidentBytes();
    }
    const size_t last = qvtest::ResidentBytes();
    EXPECT_EQ(wrong, 0) << firstWrong;
    if (!qvtest::kMemoryMeasurable) GTEST_SKIP() << "the resident size says nothing under AddressSanitizer";
    ASSERT_GT(settled, 0u) << "the resident size could not be read";
    EXPECT_LE(last, settled + kMargin) << "grew by " << (last - settled) / 1024 << " KiB";
    std::printf("resident %zu KiB after %d connections, %zu KiB after %d\n", settled / 1024, kSettled, last / 1024,
                kTotal);
}

}  // namespace
