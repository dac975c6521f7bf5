// Exchange files on Windows: made, or taken over when left over, with an
// access list that lets the server's user, and no one else, open them.
#include <windows.h>
#include <aclapi.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

namespace platform = qv::platform;

// The process's user, as its SID's bytes.
std::vector<BYTE> UserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    const bool known = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    if (!known) return {};
    PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

class ExchangeFileAccess : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = platform::ExecutableDirectory() + "exchange_access_scratch";
        std::filesystem::remove_all(dir_);
        ASSERT_TRUE(std::filesystem::create_directory(dir_));
        name_ = dir_ + "\\QuorvexIn0.TMP";
        user_ = UserSid();
        ASSERT_FALSE(user_.empty());
        DWORD size = sizeof system_;
        ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system_, &size));
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // The open file's access list: present, and every entry one that allows
    // the user (or the system itself, which Wine lists for every file).
    void ExpectUsersOnly(platform::File file, const char* what) {
        PACL acl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_EQ(GetSecurityInfo(reinterpret_cast<HANDLE>(file), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, &acl, nullptr, &descriptor),
                  static_cast<DWORD>(ERROR_SUCCESS))
            << what;
        ASSERT_NE(acl, nullptr) << what << ": no access list lets everyone in";
        EXPECT_GT(acl->AceCount, 0) << what;
        for (DWORD i = 0; i < acl->AceCount; ++i) {
            void* entry = nullptr;
            ASSERT_TRUE(GetAce(acl, i, &entry)) << what;
            const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
            ASSERT_EQ(header->AceType, ACCESS_ALLOWED_ACE_TYPE) << what << ", entry " << i;
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
            PSID sid = &allowed->SidStart;
            EXPECT_TRUE(EqualSid(sid, user_.data()) || EqualSid(sid, system_))
                << what << ": entry " << i << " lets in someone else";
        }
        LocalFree(descriptor);
    }

    std::string dir_;
    std::string name_;
    std::vector<BYTE> user_;
    BYTE system_[SECURITY_MAX_SID_SIZE];
};

TEST_F(ExchangeFileAccess, NewAndLeftOverFilesAreTheUsersOnly) {
    platform::File made = platform::CreateSharedFile(name_);
    ASSERT_NE(made, 0u);
    ExpectUsersOnly(made, "a new file");
    platform::CloseFile(made);
    ASSERT_TRUE(std::filesystem::remove(name_));

    // A left-over file with the directory's list is given the user's alone.
    std::ofstream(name_, std::ios::binary) << "a previous request's body";
    bool refused = true;
    platform::File again = platform::CreateSharedFile(name_, &refused);
    ASSERT_NE(again, 0u);
    EXPECT_FALSE(refused);
    EXPECT_EQ(platform::FileSize(again), 0);
    ExpectUsersOnly(again, "a left-over file");
    platform::CloseFile(again);
}

}  // namespace
