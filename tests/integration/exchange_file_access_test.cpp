// The exchange files of a program run are the server's user's alone while
// the program runs: a posted password is not readable by other local users.
#include <string>

#include "server_fixture.h"

namespace {

class ExchangeFileAccess : public qvtest::ServerFixture {};

TEST_F(ExchangeFileAccess, ProgramsSeeTheirFilesReadableByTheUserOnly) {
    // Windows keeps who may open a file in its access list, not in these
    // bits; the platform test checks that list.
    if (!qvtest::ProgramSuffix().empty()) GTEST_SKIP() << "file modes are checked natively only";
    std::filesystem::copy_file(qvtest::TestProgramPath("cgi_files"), root_ / "cgi" / "files.cgi");
    const std::string body = "user=me&password=secret";
    const std::string got = qvtest::AnswerBody(
        Ask("POST /files.cgi HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body));
    ASSERT_NE(got.find("STDIN=" + body), std::string::npos) << got;
    // The three files in use are the ones there (a left-over file is the
    // platform test's case); each is 0600.
    size_t files = 0;
    for (size_t at = 0, end; (end = got.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = got.substr(at, end - at);
        if (line.rfind("Quorvex", 0) != 0) continue;
        ++files;
        EXPECT_EQ(line.substr(line.find(' ') + 1), "600") << line;
    }
    EXPECT_EQ(files, 3u) << got;
}

}  // namespace
