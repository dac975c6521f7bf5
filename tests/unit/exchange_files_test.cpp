// Exchange files: creation, the query line, and the read-back from the start.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "content/exchange_files.h"
#include "platform/platform.h"

namespace {

using namespace qv::content;
namespace fs = std::filesystem;
namespace platform = qv::platform;

class ExchangeFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("quorvex-exchange-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        fs::create_directories(dir_);
        name_ = (dir_ / "QuorvexOut7.TMP").string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    std::string Contents() {
        std::ifstream in(name_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir_;
    std::string name_;
};

TEST_F(ExchangeFiles, BlankNameGivesNoHandle) {
    EXPECT_EQ(CreateExchangeFile("", kExchangeWriteMode), 0u);
    EXPECT_EQ(CreateExchangeFile("   ", kExchangeWriteMode), 0u);
}

TEST_F(ExchangeFiles, ExistingFileIsEmptiedAndLineWritten) {
    { std::ofstream(name_, std::ios::binary) << "old content that must go"; }
    platform::File file = CreateExchangeFile(name_, kExchangeWriteMode);
    ASSERT_NE(file, 0u);
    WriteHandleLine(file, "a=1&b=2");
    EXPECT_EQ(ReadHandleText(file), "a=1&b=2\r\n");
    CloseFileHandle(file);
    EXPECT_EQ(Contents(), "a=1&b=2\r\n");
}

// Something else at the name is refused at once: waiting five seconds would not change it.
TEST_F(ExchangeFiles, DirectoryAtTheNameIsRefusedWithoutRetrying) {
    fs::create_directory(name_);
    bool notAPlainFile = false;
    const uint64_t start = platform::MonotonicMilliseconds();
    EXPECT_EQ(CreateExchangeFile(name_, kExchangeWriteMode, &notAPlainFile), 0u);
    EXPECT_TRUE(notAPlainFile);
    EXPECT_LT(platform::MonotonicMilliseconds() - start, 3000u);  // five tries would take 5 s
    EXPECT_TRUE(fs::is_directory(name_));
}

TEST_F(ExchangeFiles, ReadIsFromTheStartAndCappedAt10000Bytes) {
    platform::File file = CreateExchangeFile(name_, kExchangeWriteMode);
    ASSERT_NE(file, 0u);
    std::string big;
    for (int i = 0; i < 15000; ++i) big.push_back(static_cast<char>('a' + i % 26));
    WriteHandleText(file, big);
    // The file position stands at the end; the read still starts at offset 0.
    EXPECT_EQ(ReadHandleText(file), big.substr(0, 10000));
    CloseFileHandle(file);
}

TEST_F(ExchangeFiles, EmptyFileReadsEmptyAndLongTextIsWrittenWhole) {
    platform::File file = CreateExchangeFile(name_, kExchangeWriteMode);
    ASSERT_NE(file, 0u);
    EXPECT_EQ(ReadHandleText(file), "");
    std::string line(3000, 'q');
    WriteHandleLine(file, line);
    CloseFileHandle(file);
    EXPECT_EQ(Contents(), line + "\r\n");
}

TEST(ExchangeFilesNoHandle, OperationsOnNoHandleDoNothing) {
    WriteHandleLine(0, "x");
    EXPECT_EQ(ReadHandleText(0), "");
    CloseFileHandle(0);
}

}  // namespace
