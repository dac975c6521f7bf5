// Files opened below a held directory, and exchange files that are never
// written through what someone else put at their name. A scratch directory
// beside the test program holds "inside" (the directory) and "outside".
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../support/links.h"
#include "platform/platform.h"

namespace {

namespace platform = qv::platform;
namespace fs = std::filesystem;
using Kind = platform::PathKind;

class PlatformFilesBelow : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::path(platform::ExecutableDirectory()) / "platform_below_scratch";
        fs::remove_all(root_);
        fs::create_directories(root_ / "inside" / "sub");
        fs::create_directories(root_ / "outside");
        Write(root_ / "inside" / "page.htm", "<p>page</p>");
        Write(root_ / "inside" / "sub" / "in.htm", "inner");
        Write(root_ / "outside" / "secret.htm", "secret");
        ASSERT_TRUE(platform::OpenDirectory((root_ / "inside").string(), directory_));
    }
    void TearDown() override {
        platform::CloseDirectory(directory_.handle);
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    static void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static std::string ReadAll(platform::File file) {
        char buffer[64];
        long got = platform::ReadFileAt(file, 0, buffer, sizeof buffer);
        return got < 0 ? "<failed>" : std::string(buffer, static_cast<size_t>(got));
    }
    static bool Link(const fs::path& target, const fs::path& link) { return qvtest::MakeLink(target, link); }
    static bool Native() { return platform::DirectorySeparator() == '/'; }

    fs::path root_;
    platform::OpenedDirectory directory_;
};

TEST_F(PlatformFilesBelow, OpensRegularFilesInsideWithWhatTheRouteNeeds) {
    std::string canonical;
    ASSERT_TRUE(platform::CanonicalName((root_ / "inside").string(), canonical));
    EXPECT_EQ(directory_.canonical, canonical);
    const std::time_t before = std::time(nullptr);
    Write(root_ / "inside" / "fresh.htm", "fresh!");
    const std::time_t after = std::time(nullptr);

    struct Case {
        const char* relative;
        const char* bytes;
    } cases[] = {{"page.htm", "<p>page</p>"}, {"sub\\in.htm", "inner"}, {"sub/in.htm", "inner"}, {"fresh.htm", "fresh!"}};
    for (const Case& c : cases) {
        for (platform::OpenPurpose purpose : {platform::OpenPurpose::Read, platform::OpenPurpose::Run}) {
            platform::OpenedFile opened = platform::OpenBelow(directory_, c.relative, purpose);
            ASSERT_NE(opened.file, 0u) << c.relative;
            EXPECT_EQ(opened.kind, Kind::File) << c.relative;
            EXPECT_FALSE(opened.outside) << c.relative;
            EXPECT_EQ(opened.size, static_cast<int64_t>(std::string(c.bytes).size())) << c.relative;
            EXPECT_EQ(opened.name.rfind(canonical, 0), 0u) << opened.name;
            if (purpose == platform::OpenPurpose::Read) {
                EXPECT_EQ(ReadAll(opened.file), c.bytes) << c.relative;
            }
            platform::CloseFile(opened.file);
        }
    }
    platform::OpenedFile fresh = platform::OpenBelow(directory_, "fresh.htm", platform::OpenPurpose::Read);
    EXPECT_GE(fresh.modified, static_cast<int64_t>(before) - 2);
    EXPECT_LE(fresh.modified, static_cast<int64_t>(after) + 2);
    platform::CloseFile(fresh.file);
}

TEST_F(PlatformFilesBelow, NothingElseIsOpened) {
    struct Case {
        std::string relative;
        Kind kind;
        bool outside;
    };
    std::vector<Case> cases = {
        {"sub", Kind::Directory, false},       {"missing.htm", Kind::Missing, false},
        {"nodir/x.htm", Kind::Missing, false}, {"page.htm/x", Kind::Missing, false},
        {"", Kind::Missing, false},
    };
    // Links: natively followed while they stay inside; on Windows no link is.
    if (Link(root_ / "outside" / "secret.htm", root_ / "inside" / "out.htm")) {
        Link(root_ / "outside", root_ / "inside" / "outdir");
        Link("../outside/secret.htm", root_ / "inside" / "relative_out.htm");
        Link(root_ / "inside" / "gone.htm", root_ / "inside" / "dangling.htm");
        cases.push_back({"out.htm", Kind::File, true});
        cases.push_back({"outdir/secret.htm", Kind::File, true});
        cases.push_back({"relative_out.htm", Kind::File, true});
        cases.push_back({"dangling.htm", Kind::Missing, false});
    }
    for (const Case& c : cases) {
        platform::OpenedFile opened = platform::OpenBelow(directory_, c.relative, platform::OpenPurpose::Read);
        EXPECT_EQ(opened.file, 0u) << c.relative;
        EXPECT_FALSE(opened.mayRetry) << c.relative;
        EXPECT_EQ(opened.outside, c.outside) << c.relative;
        if (!c.outside) {
            EXPECT_EQ(opened.kind, c.kind) << c.relative;
        }
        platform::CloseFile(opened.file);
    }
}

TEST_F(PlatformFilesBelow, LinksThatStayInsideAreFollowedNatively) {
    if (!Native() || !Link(root_ / "inside" / "page.htm", root_ / "inside" / "absolute.htm")) {
        GTEST_SKIP() << "links inside are followed by the native build only";
    }
    Link("sub/in.htm", root_ / "inside" / "relative.htm");
    Link(root_ / "inside" / "sub", root_ / "inside" / "subdir");
    for (const char* relative : {"absolute.htm", "relative.htm", "subdir/in.htm"}) {
        platform::OpenedFile opened = platform::OpenBelow(directory_, relative, platform::OpenPurpose::Read);
        EXPECT_NE(opened.file, 0u) << relative;
        EXPECT_FALSE(opened.outside) << relative;
        platform::CloseFile(opened.file);
    }
}

// The directory is held: renaming its name away and putting another in its
// place does not move what is opened below it.
TEST_F(PlatformFilesBelow, TheHeldDirectoryIsWhatIsSearched) {
    if (!Native()) GTEST_SKIP() << "a held directory cannot be renamed on Windows";
    fs::rename(root_ / "inside", root_ / "moved");
    fs::create_directories(root_ / "inside");
    Write(root_ / "inside" / "page.htm", "impostor");
    platform::OpenedFile opened = platform::OpenBelow(directory_, "page.htm", platform::OpenPurpose::Read);
    // The file itself is the held directory's; its name now lies outside the remembered name.
    EXPECT_EQ(opened.file, 0u);
    EXPECT_TRUE(opened.outside);
}

TEST_F(PlatformFilesBelow, ExchangeFilesAreNeverCreatedThroughWhatIsThere) {
    const fs::path secret = root_ / "outside" / "secret.htm";
    struct Case {
        std::string name;
        bool made;  // whether something of this kind could be put there
    };
    std::vector<Case> cases;
    cases.push_back({"dir.TMP", fs::create_directory(root_ / "inside" / "dir.TMP")});
    cases.push_back({"link.TMP", Link(secret, root_ / "inside" / "link.TMP")});
    cases.push_back({"dangling.TMP", Link(root_ / "outside" / "new.htm", root_ / "inside" / "dangling.TMP")});
    cases.push_back({"dirlink.TMP", Link(root_ / "outside", root_ / "inside" / "dirlink.TMP")});
    std::error_code failed;
    fs::create_hard_link(secret, root_ / "inside" / "hard.TMP", failed);
    cases.push_back({"hard.TMP", !failed});
    for (const Case& c : cases) {
        if (!c.made) continue;
        bool notAPlainFile = false;
        platform::File file = platform::CreateSharedFile((root_ / "inside" / c.name).string(), &notAPlainFile);
        EXPECT_EQ(file, 0u) << c.name;
        EXPECT_TRUE(notAPlainFile) << c.name;
        platform::CloseFile(file);
    }
    EXPECT_EQ(Read(secret), "secret");
    EXPECT_FALSE(fs::exists(root_ / "outside" / "new.htm"));
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(root_ / "outside"), fs::directory_iterator()).size(), 1u);

    // A left-over plain file is still emptied and used.
    Write(root_ / "inside" / "left.TMP", "left over");
    bool notAPlainFile = true;
    platform::File file = platform::CreateSharedFile((root_ / "inside" / "left.TMP").string(), &notAPlainFile);
    ASSERT_NE(file, 0u);
    EXPECT_FALSE(notAPlainFile);
    EXPECT_EQ(platform::FileSize(file), 0);
    platform::CloseFile(file);
}

}  // namespace
