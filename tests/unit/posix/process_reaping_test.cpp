// Programs beside the loop leave nothing behind on Linux: a program forgotten
// while it runs is reaped when it ends (no zombie, no descriptor kept), with
// process descriptors and without them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/platform.h"
#include "platform/posix/process_table.h"
#include "pump_until.h"

namespace {

namespace platform = qv::platform;
using qvtest::PumpUntil;

constexpr uint32_t kEndMessage = 1099;
int gEnds = 0;

intptr_t CountEnd(platform::Window, uint32_t message, uintptr_t, intptr_t) {
    if (message == kEndMessage) ++gEnds;
    return 0;
}

// Children of this process that have ended and were not reaped.
int Zombies() {
    int zombies = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;  // not a process
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        size_t end = text.rfind(')');
        if (end == std::string::npos) continue;
        std::istringstream rest(text.substr(end + 1));
        char state = 0;
        long parent = 0;
        rest >> state >> parent;
        if (state == 'Z' && parent == getpid()) ++zombies;
    }
    return zombies;
}

int OpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

std::string Child() { return platform::ExecutableDirectory() + "platform_child"; }

platform::ProgramLaunch SleepingChild(uint32_t ms) {
    platform::ProgramLaunch launch;
    launch.application = Child();
    launch.commandLine = "platform_child";
    launch.environmentBlock = "CHILD_SLEEP_MS=" + std::to_string(ms) + std::string(2, '\0');
    return launch;
}

class ProcessReaping : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        qv::platform::loop::UseProcessDescriptors(GetParam());
        window_ = platform::CreateHiddenWindow(&CountEnd);
        ASSERT_NE(window_, 0u);
        gEnds = 0;
    }
    void TearDown() override {
        platform::DestroyHiddenWindow(window_);
        qv::platform::loop::UseProcessDescriptors(true);
    }
    platform::Window window_ = 0;
};

TEST_P(ProcessReaping, EndSeenAndChildReaped) {
    const int descriptors = OpenDescriptors();
    platform::Process process = platform::StartProgram(SleepingChild(100));
    ASSERT_NE(process, 0u);
    ASSERT_TRUE(platform::NotifyProcessEnd(process, window_, kEndMessage, 1));
    PumpUntil([] { return gEnds != 0; });
    EXPECT_EQ(gEnds, 1);
    EXPECT_EQ(Zombies(), 0);
    platform::CloseProcess(process);
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_P(ProcessReaping, ForgottenWhileRunningIsReapedWhenItEnds) {
    struct Case {
        const char* name;
        bool endAsked;
    } cases[] = {{"end asked, then forgotten", true}, {"forgotten without asking", false}};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const int descriptors = OpenDescriptors();
        platform::Process process = platform::StartProgram(SleepingChild(200));
        ASSERT_NE(process, 0u);
        if (test.endAsked) {
            ASSERT_TRUE(platform::NotifyProcessEnd(process, window_, kEndMessage, 1));
        }
        platform::CloseProcess(process);
        // The child ends meanwhile; the loop reaps it without a word.
        platform::PumpMessages(300);
        PumpUntil([&] { return Zombies() == 0 && OpenDescriptors() == descriptors; });
        EXPECT_EQ(Zombies(), 0);
        EXPECT_EQ(OpenDescriptors(), descriptors);
        EXPECT_EQ(gEnds, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Descriptors, ProcessReaping, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("WithProcessDescriptors")
                                               : std::string("ByAsking");
                         });

}  // namespace
