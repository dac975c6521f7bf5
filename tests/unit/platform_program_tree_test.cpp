// A program's tree at the platform's interface: ending the program, closing
// it, or the program's own end ends every process it started. The program is
// tests/programs/cgi_tree, which starts a sleeping copy of itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "process_probe.h"
#include "pump_until.h"

namespace {

namespace platform = qv::platform;
namespace fs = std::filesystem;

constexpr uint32_t kEndMessage = 1099;
bool gEnded = false;  // written by the test thread's loop only

intptr_t NoteEnd(platform::Window, uint32_t message, uintptr_t, intptr_t) {
    if (message == kEndMessage) gEnded = true;
    return 0;
}

class PlatformProgramTree : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"cgi_tree", "cgi_tree.exe"}) {
            const std::string path = platform::ExecutableDirectory() + name;
            if (platform::ProbePath(path) == platform::PathKind::File) program_ = path;
        }
        ASSERT_FALSE(program_.empty()) << "cgi_tree is not built beside the tests";
        dir_ = platform::ExecutableDirectory() + "platform_tree_scratch";
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
        ASSERT_TRUE(fs::create_directory(dir_));
        window_ = platform::CreateHiddenWindow(&NoteEnd);
        ASSERT_NE(window_, 0u);
    }
    void TearDown() override {
        // Whatever a failed test left running.
        for (unsigned long id : ids_) qvtest::EndProcess(id);
        platform::DestroyHiddenWindow(window_);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // Starts cgi_tree with `query`; 0 when it could not be started.
    platform::Process Start(const std::string& query) {
        platform::ProgramLaunch launch;
        launch.application = program_;
        launch.commandLine = "cgi_tree";
        launch.environmentBlock = "QUERY_STRING=" + query + std::string(2, '\0');
        launch.workingDirectory = dir_;
        launch.standardInput = launch.standardOutput = launch.standardError = 0;
        gEnded = false;
        return platform::StartProgram(launch);
    }

    // The ids it wrote for NAME, once it has.
    bool ReadIds(const std::string& name) {
        const std::string file = dir_ + "/" + name + ".pids";
        if (!qvtest::PumpUntil([&] { return fs::exists(file); })) return false;
        std::ifstream(file) >> ids_[0] >> ids_[1];
        return ids_[0] != 0 && ids_[1] != 0;
    }

    bool AnyRunning() const { return qvtest::ProcessRunning(ids_[0]) || qvtest::ProcessRunning(ids_[1]); }

    std::string program_;
    std::string dir_;
    platform::Window window_ = 0;
    unsigned long ids_[2] = {0, 0};
};

TEST_F(PlatformProgramTree, TheTreeEndsWithItsProgram) {
    struct Case {
        const char* what;
        const char* query;
        bool endProgram;    // EndProgram first
        bool awaitTheEnd;   // its end reported before it is closed
    } cases[] = {
        {"ended", "ended-wait", true, true},
        {"closed while it runs", "closed-wait", false, false},
        {"its own end, leaving its copy running", "itself-leave", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::Process process = Start(c.query);
        ASSERT_NE(process, 0u);
        ASSERT_TRUE(platform::NotifyProcessEnd(process, window_, kEndMessage, 1));
        const std::string query = c.query;
        ASSERT_TRUE(ReadIds(query.substr(0, query.find('-'))));
        // (A program that ends at once may already be gone with its copy.)
        if (!c.awaitTheEnd || c.endProgram) {
            EXPECT_TRUE(qvtest::ProcessRunning(ids_[0]));
            EXPECT_TRUE(qvtest::ProcessRunning(ids_[1]));
        }
        if (c.endProgram) platform::EndProgram(process);
        if (c.awaitTheEnd) {
            EXPECT_TRUE(qvtest::PumpUntil([] { return gEnded; }));
        }
        platform::CloseProcess(process);
        EXPECT_TRUE(qvtest::PumpUntil([&] { return !AnyRunning(); }))
            << "still running: " << qvtest::ProcessRunning(ids_[0]) << " " << qvtest::ProcessRunning(ids_[1]);
    }
}

}  // namespace
