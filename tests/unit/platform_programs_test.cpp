// Starting programs with three files as their standard handles, as the CGI
// route does. The child is tests/programs/platform_child.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "pump_until.h"

namespace {

namespace platform = qv::platform;
using qvtest::PumpUntil;

std::string ChildProgram() {
    for (const char* name : {"platform_child", "platform_child.exe"}) {
        std::string path = platform::ExecutableDirectory() + name;
        if (platform::ProbePath(path) == platform::PathKind::File) return path;
    }
    return std::string();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool Has(const std::vector<std::string>& lines, const std::string& wanted) {
    for (const auto& line : lines) {
        if (line == wanted) return true;
    }
    return false;
}

// An environment block: each entry ended by a NUL, and one more NUL at the end.
std::string Block(const std::vector<std::string>& entries) {
    std::string block;
    for (const auto& entry : entries) block += entry + '\0';
    return block + '\0';
}

constexpr uint32_t kRunEndMessage = 1098;
bool gRunEnded = false;  // written by the test thread's loop only

intptr_t NoteRunEnd(platform::Window, uint32_t message, uintptr_t, intptr_t) {
    if (message == kRunEndMessage) gRunEnded = true;
    return 0;
}

class PlatformPrograms : public ::testing::Test {
protected:
    void SetUp() override {
        child_ = ChildProgram();
        ASSERT_FALSE(child_.empty()) << "platform_child is not built beside the tests";
        // One folder per test: a child left running keeps its working folder
        // on Windows, and the next test must not need that one.
        dir_ = platform::ExecutableDirectory() + "platform_programs_scratch_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        ASSERT_TRUE(std::filesystem::create_directory(dir_));
        for (int i = 0; i < 3; ++i) {
            files_[i] = platform::CreateSharedFile((std::filesystem::path(dir_) / ("std" + std::to_string(i))).string());
            ASSERT_NE(files_[i], 0u);
        }
    }
    void TearDown() override {
        for (platform::File file : files_) {
            if (file != 0) platform::CloseFile(file);
        }
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);  // a child still running may keep them a while
    }
    platform::ProgramLaunch Launch(const std::string& environment) {
        platform::ProgramLaunch launch;
        launch.application = child_;
        launch.commandLine = "platform_child_a=1&b=2";
        launch.environmentBlock = environment;
        launch.workingDirectory = dir_;
        launch.standardInput = files_[0];
        launch.standardOutput = files_[1];
        launch.standardError = files_[2];
        return launch;
    }
    // Starts the program beside the loop and runs the loop until its end is
    // posted, as the CGI route does; false when it could not be started or
    // has not ended within ten seconds.
    static bool RunToEnd(const platform::ProgramLaunch& launch) {
        platform::Window window = platform::CreateHiddenWindow(&NoteRunEnd);
        if (window == 0) return false;
        gRunEnded = false;
        platform::Process process = platform::StartProgram(launch);
        const bool ended = process != 0 && platform::NotifyProcessEnd(process, window, kRunEndMessage, 0) &&
                           PumpUntil([] { return gRunEnded; });
        if (process != 0) platform::CloseProcess(process);
        platform::DestroyHiddenWindow(window);
        return ended;
    }
    std::string Contents(platform::File file) {
        std::string text(20000, '\0');
        long got = platform::ReadFileAt(file, 0, &text[0], text.size());
        text.resize(got < 0 ? 0 : static_cast<size_t>(got));
        return text;
    }

    std::string child_;
    std::string dir_;
    platform::File files_[3] = {0, 0, 0};
};

TEST_F(PlatformPrograms, FinishedChildReadItsInputAndSawOnlyItsEnvironment) {
    platform::WriteToFile(files_[0], "query=on stdin", 14);
    platform::Rewind(files_[0]);
    std::string environment = Block({"GATEWAY_INTERFACE=CGI/1.1", "QUERY_STRING=a=1&b=2", "EMPTY="});
    ASSERT_TRUE(RunToEnd(Launch(environment)));

    EXPECT_EQ(Contents(files_[1]), "query=on stdin");
    std::vector<std::string> report = Lines(Contents(files_[2]));
    EXPECT_TRUE(Has(report, "arg=platform_child_a=1&b=2"));
    EXPECT_TRUE(Has(report, "env=GATEWAY_INTERFACE=CGI/1.1"));
    EXPECT_TRUE(Has(report, "env=QUERY_STRING=a=1&b=2"));
    EXPECT_TRUE(Has(report, "env=EMPTY="));
    // The block is the whole environment: nothing of this process's own leaks in.
    if (const char* path = std::getenv("PATH")) {
        EXPECT_FALSE(Has(report, std::string("env=PATH=") + path));
    }
    std::string cwd;
    for (const auto& line : report) {
        if (line.compare(0, 4, "cwd=") == 0) cwd = line.substr(4);
    }
    std::error_code error;
    EXPECT_TRUE(std::filesystem::equivalent(cwd, dir_, error)) << cwd;
}

TEST_F(PlatformPrograms, MissingProgramIsNotStarted) {
    platform::ProgramLaunch launch = Launch(Block({"A=1"}));
    for (const std::string& application :
         {(std::filesystem::path(dir_) / "no_such_program").string(), dir_, std::string()}) {
        launch.application = application;
        platform::Process process = platform::StartProgram(launch);
        EXPECT_EQ(process, 0u) << application;
        if (process != 0) platform::CloseProcess(process);
    }
}

// The program started is the one opened and checked, whatever is put at its
// name meanwhile: natively a "#!" script, whose interpreter reads it by the
// descriptor it is started from; on Windows the held program cannot even be
// renamed away.
TEST_F(PlatformPrograms, TheProgramHeldIsTheProgramStarted) {
    namespace fs = std::filesystem;
    const bool native = platform::DirectorySeparator() == '/';
    const std::string name = native ? "held.cgi" : "held.exe";
    const fs::path path = fs::path(dir_) / name;
    auto writeScript = [&](const std::string& says) {
        std::ofstream(path, std::ios::binary) << "#!/bin/sh\necho " << says << "\n";
        fs::permissions(path, fs::perms::owner_all);
    };
    if (native) {
        writeScript("checked ran");
    } else {
        fs::copy_file(child_, path);
    }
    platform::OpenedDirectory directory;
    ASSERT_TRUE(platform::OpenDirectory(dir_, directory));
    platform::OpenedFile program = platform::OpenBelow(directory, name, platform::OpenPurpose::Run);
    ASSERT_NE(program.file, 0u);

    std::error_code moved;
    fs::rename(path, fs::path(dir_) / "away", moved);
    if (native) {
        ASSERT_FALSE(moved) << moved.message();
        writeScript("impostor ran");
    } else {
        EXPECT_TRUE(moved) << "a held program was renamed";
    }
    platform::ProgramLaunch launch = Launch(Block({"A=1"}));
    launch.application = program.name;
    launch.program = program.file;
    EXPECT_TRUE(RunToEnd(launch));
    platform::CloseFile(program.file);
    platform::CloseDirectory(directory.handle);
    if (native) {
        EXPECT_EQ(Contents(files_[1]), "checked ran\n");
    } else {
        EXPECT_TRUE(Has(Lines(Contents(files_[2])), "env=A=1"));
    }
}

}  // namespace

// Programs beside the loop: the end arrives as a message while the loop goes on.
namespace {

constexpr uint32_t kEndMessage = 1099;
std::vector<std::pair<uintptr_t, intptr_t>> gEnds;  // written by the test thread's loop only

intptr_t RecordEnd(platform::Window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == kEndMessage) gEnds.emplace_back(wParam, lParam);
    return 0;
}

class ProgramEnds : public PlatformPrograms {
protected:
    void SetUp() override {
        PlatformPrograms::SetUp();
        gEnds.clear();
        window_ = platform::CreateHiddenWindow(&RecordEnd);
        ASSERT_NE(window_, 0u);
    }
    void TearDown() override {
        platform::DestroyHiddenWindow(window_);
        PlatformPrograms::TearDown();
    }
    platform::Window window_ = 0;
};

TEST_F(ProgramEnds, EndIsPostedOncePerRequestWhileTheLoopGoesOn) {
    platform::Process process = platform::StartProgram(Launch(Block({"CHILD_SLEEP_MS=700"})));
    ASSERT_NE(process, 0u);
    ASSERT_TRUE(platform::NotifyProcessEnd(process, window_, kEndMessage, 42));
    // The loop runs meanwhile and the program is still sleeping.
    platform::PumpMessages(150);
    EXPECT_TRUE(gEnds.empty());
    ASSERT_TRUE(PumpUntil([] { return !gEnds.empty(); }));
    EXPECT_EQ(gEnds[0], std::make_pair(uintptr_t{42}, intptr_t{0}));
    EXPECT_TRUE(Has(Lines(Contents(files_[2])), "env=CHILD_SLEEP_MS=700"));
    // Asked again after the end: posted at once, and only one more.
    ASSERT_TRUE(platform::NotifyProcessEnd(process, window_, kEndMessage, 43));
    ASSERT_TRUE(PumpUntil([] { return gEnds.size() == 2; }));
    EXPECT_EQ(gEnds[1].first, 43u);
    platform::PumpMessages(100);
    EXPECT_EQ(gEnds.size(), 2u);
    platform::CloseProcess(process);
}

TEST_F(ProgramEnds, ProgramThatCannotStartGivesNoProcess) {
    platform::ProgramLaunch launch = Launch(Block({"A=1"}));
    launch.application = (std::filesystem::path(dir_) / "no_such_program").string();
    EXPECT_EQ(platform::StartProgram(launch), 0u);
    EXPECT_FALSE(platform::NotifyProcessEnd(0, window_, kEndMessage, 1));
}

TEST_F(ProgramEnds, ForgottenProgramPostsNothing) {
    platform::Process process = platform::StartProgram(Launch(Block({"CHILD_SLEEP_MS=200"})));
    ASSERT_NE(process, 0u);
    ASSERT_TRUE(platform::NotifyProcessEnd(process, window_, kEndMessage, 7));
    platform::CloseProcess(process);
    platform::PumpMessages(700);
    EXPECT_TRUE(gEnds.empty());
}

}  // namespace
