// When every slot is taken, the connection whose client has made no progress
// for the longest makes room: judged by what its client really sent, also
// when those bytes still wait behind the loop's queue of accepts.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "held_connections.h"
#include "in_process_server.h"

namespace {

namespace server = qv::server;

class Eviction : public qvtest::InProcessServer {};

TEST_F(Eviction, BytesWaitingToBeReadCountAsProgress) {
    const std::string partial = "GET /held.htm HTTP/1.0\r\n";
    // The oldest connection of all, then enough idle ones to take every other slot.
    qvtest::StreamClient oldest(qvtest::ServerAddress(), port_);
    oldest.Send(partial);
    PumpFor(50);
    Tick();
    qvtest::HeldConnections idle;
    for (int batch = 0; batch < 10; ++batch) {
        ASSERT_EQ(idle.Open(qvtest::ServerAddress(), port_, 50, partial), 50);
        PumpFor(50);
    }
    Tick();
    // The oldest client sends more; before the loop reads it, a newcomer arrives
    // and is taken: someone must make room.
    oldest.Send("Host: h\r\n");
    qvtest::StreamClient newcomer(qvtest::ServerAddress(), port_);
    newcomer.Send(partial);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server::AcceptPending();
    EXPECT_EQ(oldest.Read(65536, 50), "");
    EXPECT_FALSE(oldest.closedByServer()) << "the client that just sent was taken for the idlest";
    EXPECT_EQ(idle.CountClosedByServer(), 1);
    // And its request goes on to its answer.
    oldest.Send("\r\n");
    std::string answer;
    ReadToTheEnd(oldest, 0, SIZE_MAX, &answer, 10000);
    EXPECT_NE(answer.find("\r\n\r\nheld"), std::string::npos) << answer.substr(0, 100);
}

}  // namespace
