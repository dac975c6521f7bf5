// A program still running at its time limit is ended with everything it
// started, on the server's own clock: no process of its tree is left.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "in_process_server.h"
#include "process_probe.h"
#include "pump_until.h"

namespace {

class ProgramTreeTimeLimit : public qvtest::InProcessServer {
protected:
    void TearDown() override {
        // Whatever a failed test left running.
        for (unsigned long id : ids_) qvtest::EndProcess(id);
        InProcessServer::TearDown();
    }
    bool AnyRunning() const { return qvtest::ProcessRunning(ids_[0]) || qvtest::ProcessRunning(ids_[1]); }

    unsigned long ids_[2] = {0, 0};
};

TEST_F(ProgramTreeTimeLimit, ProgramAndWhatItStartedEndAtTheLimit) {
    const std::string name = InstallProgram("cgi_tree", "tree");
    qvtest::StreamClient client(qvtest::ServerAddress(), port_);
    client.Send("GET /" + name + "?limit-wait HTTP/1.0\r\n\r\n");
    const std::string file = dir_ + "/cgi/limit.pids";
    ASSERT_TRUE(qvtest::PumpUntil([&] { return std::filesystem::exists(file); }));
    std::ifstream(file) >> ids_[0] >> ids_[1];
    ASSERT_TRUE(qvtest::ProcessRunning(ids_[0]));
    ASSERT_TRUE(qvtest::ProcessRunning(ids_[1]));
    for (int s = 0; s < 10; ++s) Tick();
    // Answered: its time is up (the program itself would sleep 30 s).
    std::string answer;
    ReadToTheEnd(client, 0, SIZE_MAX, &answer, 10000);
    EXPECT_TRUE(client.closedByServer());
    EXPECT_EQ(answer.rfind("HTTP/1.0 504 Gateway Timeout\r\n", 0), 0u) << answer.substr(0, 80);
    EXPECT_TRUE(qvtest::PumpUntil([&] { return !AnyRunning(); }))
        << "still running: " << qvtest::ProcessRunning(ids_[0]) << " " << qvtest::ProcessRunning(ids_[1]);
}

}  // namespace
