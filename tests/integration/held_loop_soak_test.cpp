// The long real-time runs the suite proves on its own clock: a host that holds
// the loop for a minute while a download goes on. Run by scripts/soak
// (QUORVEX_SOAK set); skipped in the suite.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "server_fixture.h"
#include "soak.h"
#include "stream_client.h"

namespace {

using qvtest::api;
using Clock = std::chrono::steady_clock;

int32_t QV_CALL HoldingForAMinute(int32_t, const char*, int32_t, const char* request, int32_t) {
    if (std::string(request, 8) != "held.htm") return 0;
    std::this_thread::sleep_for(std::chrono::seconds(61));
    return 0;
}

class HeldLoop : public qvtest::ServerFixture {};

TEST_F(HeldLoop, ADownloadOutlivesAHostHoldingTheLoopForAMinute) {
    if (!qvtest::SoakRun()) GTEST_SKIP() << qvtest::kSoakOnly;
    const size_t size = size_t{40} << 20;
    WriteFile(root_ / "docs" / "big.dat", std::string(size, 'b'));
    WriteFile(root_ / "docs" / "held.htm", "held");
    ASSERT_EQ(api().SetServerCallback(&HoldingForAMinute), 0);
    size_t got = 0;
    qvtest::PumpWhile([&] {
        qvtest::StreamClient download(qvtest::ServerAddress(), port_);
        download.Send("GET /big.dat HTTP/1.0\r\n\r\n");
        got += download.Read(65536, 5000).size();
        std::thread holder([&] {
            qvtest::Talk(qvtest::ServerAddress(), port_, "GET /held.htm HTTP/1.0\r\n\r\n", 120000);
        });
        // The client keeps reading all along, slowly, as a person's download would.
        const auto giveUp = Clock::now() + std::chrono::seconds(180);
        while (!download.closedByServer() && Clock::now() < giveUp) {
            got += download.Read(16384, 1000).size();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        holder.join();
    });
    EXPECT_GT(got, size);
}

}  // namespace
