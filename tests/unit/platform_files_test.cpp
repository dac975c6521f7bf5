// Files as the exchange files and the static route use them, in a scratch
// directory beside the test program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

namespace platform = qv::platform;

class PlatformFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = platform::ExecutableDirectory() + "platform_files_scratch";
        std::filesystem::remove_all(dir_);
        ASSERT_TRUE(std::filesystem::create_directory(dir_));
        name_ = (std::filesystem::path(dir_) / "exchange.tmp").string();
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string ReadAll(platform::File file, uint64_t offset = 0) {
        char buffer[256];
        long got = platform::ReadFileAt(file, offset, buffer, sizeof buffer);
        return got < 0 ? std::string("<failed>") : std::string(buffer, static_cast<size_t>(got));
    }

    std::string dir_;
    std::string name_;
};

TEST_F(PlatformFiles, CreateTruncatesAnExistingFile) {
    platform::File first = platform::CreateSharedFile(name_);
    ASSERT_NE(first, 0u);
    platform::WriteToFile(first, "old content", 11);
    platform::CloseFile(first);

    platform::File again = platform::CreateSharedFile(name_);
    ASSERT_NE(again, 0u);
    EXPECT_EQ(platform::FileSize(again), 0);
    EXPECT_EQ(ReadAll(again), "");
    platform::CloseFile(again);
}

TEST_F(PlatformFiles, PositionedReadIgnoresTheFilePosition) {
    platform::File file = platform::CreateSharedFile(name_);
    ASSERT_NE(file, 0u);
    platform::WriteToFile(file, "first line\r\n", 12);
    platform::SeekToEnd(file);
    platform::WriteToFile(file, "second", 6);
    EXPECT_EQ(ReadAll(file), "first line\r\nsecond");
    EXPECT_EQ(ReadAll(file, 6), "line\r\nsecond");
    EXPECT_EQ(ReadAll(file, 100), "");
    EXPECT_EQ(platform::FileSize(file), 18);
    // Rewound, the next write goes over the start.
    platform::Rewind(file);
    platform::WriteToFile(file, "FIRST", 5);
    EXPECT_EQ(ReadAll(file), "FIRST line\r\nsecond");
    platform::CloseFile(file);
}

TEST_F(PlatformFiles, ProbeAndRemove) {
    platform::File file = platform::CreateSharedFile(name_);
    ASSERT_NE(file, 0u);
    platform::CloseFile(file);
    struct Case {
        std::string name;
        platform::PathKind kind;
    } cases[] = {
        {name_, platform::PathKind::File},
        {dir_, platform::PathKind::Directory},
        {name_ + ".missing", platform::PathKind::Missing},
        {(std::filesystem::path(dir_) / "no_such_dir" / "x.htm").string(), platform::PathKind::Missing},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::ProbePath(c.name), c.kind) << c.name;

    EXPECT_TRUE(platform::RemoveFile(name_));
    EXPECT_EQ(platform::ProbePath(name_), platform::PathKind::Missing);
    EXPECT_FALSE(platform::RemoveFile(name_));
}

TEST_F(PlatformFiles, CanonicalNameResolvesDotDot) {
    std::filesystem::create_directory(std::filesystem::path(dir_) / "sub");
    platform::File file = platform::CreateSharedFile(name_);
    ASSERT_NE(file, 0u);
    platform::CloseFile(file);
    std::string direct, roundabout;
    ASSERT_TRUE(platform::CanonicalName(name_, direct));
    ASSERT_TRUE(platform::CanonicalName((std::filesystem::path(dir_) / "sub" / ".." / "exchange.tmp").string(), roundabout));
    EXPECT_EQ(direct, roundabout);
    EXPECT_TRUE(std::filesystem::equivalent(direct, name_));
}

}  // namespace
