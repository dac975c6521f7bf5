// The server run in this process, as a host runs it (real sockets, its own
// window, this thread's message loop), on a clock of the test's own: time
// moves on in leaps, so a minute of a slow client or a program's whole time
// costs nothing.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "host.h"
#include "platform/platform.h"
#include "raw_client.h"
#include "server/connection_events.h"
#include "server/server_control.h"
#include "server/settings_store.h"
#include "stream_client.h"
#include "test_ports.h"

namespace qvtest {

class InProcessServer : public ::testing::Test {
public:
    // The server's clock moves on, with nothing run (as when the loop is held).
    static void AdvanceClock(uint64_t ms) { now_ += ms; }

protected:
    static uint64_t FakeNow() { return now_.load(); }

    // What the server is started with: the test's clock, the usual time-outs.
    static qv::server::TableOptions Options() {
        qv::server::TableOptions options;
        options.clock = &FakeNow;
        return options;
    }

    void SetUp() override {
        namespace platform = qv::platform;
        namespace server = qv::server;
        dir_ = platform::ExecutableDirectory() + "in_process_scratch_" + std::to_string(port_);
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ + "/docs");
        std::filesystem::create_directories(dir_ + "/cgi");
        std::ofstream(dir_ + "/docs/held.htm") << "held";
        server::SetDocumentDirectory(dir_ + "/docs/");
        server::SetCgiDirectory(dir_ + "/cgi/");
        server::ClearRequestCallback();
        server::UseTableOptions(Options());
        ASSERT_EQ(server::Start(port_), 0);
    }
    void TearDown() override {
        qv::server::Stop();
        qv::server::ClearRequestCallback();
        qv::server::UseTableOptions(qv::server::TableOptions());
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // `ms` of the server's time: the clock moves on and the deadline check and
    // the program watch run, as their timers would run them.
    static void Tick(uint64_t ms = 1000) {
        now_ += ms;
        qv::server::OnTimer(qv::server::kDeadlineTimer);
        qv::server::OnTimer(qv::server::kProgramWatchTimer);
        qv::platform::PumpMessages(0);
    }

    // Real time passes with the loop running (a program starting, sockets draining).
    static void PumpFor(int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) qv::platform::PumpMessages(10);
    }

    // Reads what the server sends until it closes, `total` bytes are in, or
    // `giveUpMs` of real time passed, pumping meanwhile.
    static size_t ReadToTheEnd(StreamClient& client, size_t already, size_t total, std::string* kept = nullptr,
                               int giveUpMs = 60000) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(giveUpMs);
        size_t got = already;
        while (got < total && !client.closedByServer() && std::chrono::steady_clock::now() < giveUp) {
            const std::string piece = client.Read(1 << 20, 0);
            got += piece.size();
            if (kept != nullptr) *kept += piece;
            qv::platform::PumpMessages(0);
        }
        return got;
    }

    // The whole answer to `request` on a connection of its own.
    std::string Ask(const std::string& request) {
        StreamClient client(ServerAddress(), port_);
        if (!client.connected()) return "";
        client.Send(request);
        std::string answer;
        ReadToTheEnd(client, 0, SIZE_MAX, &answer);
        return answer;
    }

    // A test program copied into the program directory as `name` (the
    // platform's program suffix added); the name to ask for.
    std::string InstallProgram(const std::string& program, const std::string& name) {
        const std::string installed = name + (ProgramSuffix().empty() ? ".cgi" : ".exe");
        std::filesystem::copy_file(TestProgramPath(program), dir_ + "/cgi/" + installed);
        return installed;
    }

    static std::atomic<uint64_t> now_;
    uint16_t port_ = NextPort();
    std::string dir_;

private:
    static uint16_t NextPort() {
        static uint16_t offset = 400;
        return TestPort(offset++);
    }
};

inline std::atomic<uint64_t> InProcessServer::now_{1000000};

}  // namespace qvtest
