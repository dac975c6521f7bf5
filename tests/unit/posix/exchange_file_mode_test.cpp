// Exchange files natively: readable and writable by the server's user alone,
// whatever the umask, and a left-over file narrowed the same way before use;
// another user's left-over file is not used.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"

namespace {

namespace platform = qv::platform;

class ExchangeFileMode : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = platform::ExecutableDirectory() + "exchange_mode_scratch";
        std::filesystem::remove_all(dir_);
        ASSERT_TRUE(std::filesystem::create_directory(dir_));
        name_ = dir_ + "/QuorvexIn0.TMP";
        // The widest umask there is: nothing taken away.
        oldMask_ = umask(0);
    }
    void TearDown() override {
        umask(oldMask_);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // The file's permission bits as the file system has them, -1 when it is not there.
    int ModeOf(const std::string& name) {
        struct stat info;
        return stat(name.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
    }

    void LeaveFile(const std::string& content, mode_t mode) {
        std::ofstream(name_, std::ios::binary) << content;
        ASSERT_EQ(chmod(name_.c_str(), mode), 0);
    }

    std::string dir_;
    std::string name_;
    mode_t oldMask_ = 0;
};

TEST_F(ExchangeFileMode, NewAndLeftOverFilesAreTheUsersOnly) {
    platform::File made = platform::CreateSharedFile(name_);
    ASSERT_NE(made, 0u);
    EXPECT_EQ(ModeOf(name_), 0600);
    platform::CloseFile(made);
    ASSERT_EQ(std::filesystem::remove(name_), true);

    // A left-over file, however open, is narrowed before it is emptied and used.
    for (mode_t left : {0644, 0666, 0777, 04755, 0400}) {
        LeaveFile("a previous request's body", left);
        bool refused = true;
        platform::File again = platform::CreateSharedFile(name_, &refused);
        ASSERT_NE(again, 0u) << std::oct << left;
        EXPECT_FALSE(refused);
        EXPECT_EQ(ModeOf(name_), 0600) << std::oct << left;
        EXPECT_EQ(platform::FileSize(again), 0);
        platform::CloseFile(again);
    }
}

// Someone else's file at the name could be read by its owner whatever its
// mode: it is neither emptied nor used.
TEST_F(ExchangeFileMode, AnotherUsersLeftOverFileIsNotUsed) {
    if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
    LeaveFile("theirs", 0666);
    ASSERT_EQ(chown(name_.c_str(), 65534, 65534), 0);
    bool refused = false;
    platform::File file = platform::CreateSharedFile(name_, &refused);
    EXPECT_EQ(file, 0u);
    EXPECT_TRUE(refused);
    if (file != 0) platform::CloseFile(file);
    EXPECT_EQ(ModeOf(name_), 0666);
    EXPECT_EQ(std::filesystem::file_size(name_), 6u);
}

}  // namespace
