// A program is ended with everything it started: when its client leaves,
// when the server stops, and what it left running when it ended on its own.
// (The end at its time limit is tested on the server's own clock, in
// tests/unit/program_tree_time_limit_test.cpp.)
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "process_probe.h"
#include "server_fixture.h"
#include "stream_client.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Pumps the server's messages until `done` holds; false when 20 s passed first.
bool PumpUntil(const std::function<bool()>& done) {
    const auto giveUp = Clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (Clock::now() > giveUp) return false;
        qvtest::PumpFor(20);
    }
    return true;
}

class ProgramTree : public qvtest::PageServerFixture {
protected:
    void TearDown() override {
        // Whatever a failed test left running.
        for (unsigned long id : ids_) qvtest::EndProcess(id);
        PageServerFixture::TearDown();
    }

    // The ids cgi_tree wrote for NAME (itself, then the program it started),
    // once it has written them; false when it never did.
    bool ReadIds(const std::string& name) {
        const fs::path file = root_ / "cgi" / (name + ".pids");
        if (!PumpUntil([&] { return fs::exists(file); })) return false;
        std::ifstream in(file);
        unsigned long program = 0, started = 0;
        in >> program >> started;
        ids_ = {program, started};
        return program != 0 && started != 0;
    }

    bool AnyRunning() const {
        for (unsigned long id : ids_) {
            if (qvtest::ProcessRunning(id)) return true;
        }
        return false;
    }

    std::vector<unsigned long> ids_;
};

TEST_F(ProgramTree, EndedProgramLeavesNoProcessBehind) {
    const std::string program = InstallProgram("cgi_tree", "tree");
    struct Case {
        const char* what;
        const char* query;
        std::function<void(qvtest::StreamClient&)> end;
    } cases[] = {
        {"its client leaves", "left-wait", [](qvtest::StreamClient& client) { client.Reset(); }},
        {"the server stops", "stopped-wait", [](qvtest::StreamClient&) { qvtest::api().ServerStop(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A server of its own for each case (the fixture's, the first time).
        if (qvtest::api().ServerRunning() == 0) {
            ASSERT_EQ(qvtest::api().ServerStart(port_), 0);
        }
        qvtest::StreamClient client(qvtest::ServerAddress(), port_);
        ASSERT_TRUE(client.connected());
        client.Send("GET /" + program + "?" + c.query + " HTTP/1.0\r\n\r\n");
        const std::string name = std::string(c.query).substr(0, std::string(c.query).find('-'));
        ASSERT_TRUE(ReadIds(name));
        // Both run: the program waits, and so does what it started.
        EXPECT_TRUE(qvtest::ProcessRunning(ids_[0]));
        EXPECT_TRUE(qvtest::ProcessRunning(ids_[1]));
        c.end(client);
        EXPECT_TRUE(PumpUntil([&] { return !AnyRunning(); }))
            << "still running: " << qvtest::ProcessRunning(ids_[0]) << " " << qvtest::ProcessRunning(ids_[1]);
        qvtest::api().ServerStop();
    }
}

// A program that ends at once, leaving what it started behind: its answer
// comes, and what it left does not outlive it.
TEST_F(ProgramTree, WhatAProgramLeftRunningEndsWithIt) {
    const std::string program = InstallProgram("cgi_tree", "tree");
    const std::string answer = Get("/" + program + "?gone-leave");
    EXPECT_EQ(answer, qvtest::Head("HTTP/1.0 200 OK", "text/html", 7) + "started\r\n\r\n");
    ASSERT_TRUE(ReadIds("gone"));
    EXPECT_TRUE(PumpUntil([&] { return !AnyRunning(); }))
        << "still running: " << qvtest::ProcessRunning(ids_[0]) << " " << qvtest::ProcessRunning(ids_[1]);
}

}  // namespace
