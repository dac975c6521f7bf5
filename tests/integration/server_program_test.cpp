// Programs run from the program directory: what they are given, what comes back.
#include <algorithm>
#include <filesystem>
#include <vector>

#include "server_fixture.h"

namespace {

using qvtest::Head;
namespace fs = std::filesystem;

class Programs : public qvtest::ServerFixture {
protected:
    // The program's file-name ending: ".cgi" natively, ".exe" on Windows.
    static std::string Ending() { return qvtest::ProgramSuffix().empty() ? ".cgi" : ".exe"; }

    // Copies a test program into `dir` as NAME + Ending(); the name to request.
    std::string Install(const std::string& program, const std::string& name, const fs::path& dir) {
        fs::copy_file(qvtest::TestProgramPath(program), dir / (name + Ending()),
                      fs::copy_options::overwrite_existing);
        return name + Ending();
    }

    std::string Body(const std::string& answer) {
        size_t end = answer.find("\r\n\r\n");
        return end == std::string::npos ? std::string() : answer.substr(end + 4);
    }

    // The program's lines with their ends as "\n" (Windows programs write CR LF).
    static std::string PlainLines(std::string text) {
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    }

    void ExpectNoExchangeFilesLeft() {
        for (const auto& entry : fs::directory_iterator(root_ / "cgi")) {
            EXPECT_EQ(entry.path().filename().string().rfind("Quorvex", 0), std::string::npos) << entry.path();
        }
    }
};

TEST_F(Programs, GetPassesQueryOnInputAndInEnvironment) {
    std::string program = Install("cgi_echo", "echo", root_ / "cgi");
    std::string got = Ask("GET /" + program + "?a=1&b=2 HTTP/1.0\r\nHost: h1\r\nUser-Agent: probe\r\n"
                          "Accept: */*\r\nReferer: r\r\n\r\n");
    std::string body = Body(got);
    // The output, then CR LF twice.
    ASSERT_GE(body.size(), 4u);
    ASSERT_EQ(got, Head("HTTP/1.0 200 OK", "text/html", body.size() - 4) + body);
    EXPECT_EQ(body.substr(body.size() - 4), "\r\n\r\n");
    const std::string expected[] = {
        "ARG=" + program + "a=1&b=2\n", "STDIN=a=1&b=2\n", "REQUEST_METHOD=GET\n", "QUERY_STRING=a=1&b=2\n",
        "REMOTE_ADDRESS= h1\n",         "HTTP_USER_AGENT= probe\n", "HTTP_ACCEPT= */*\n", "HTTP_REFERER= r\n",
        "SERVER_PORT=80\n",             "HTTP_HOST=h1\n",
    };
    const std::string lines = PlainLines(body);
    for (const std::string& line : expected) EXPECT_NE(lines.find(line), std::string::npos) << line << body;
    // The block is the program's whole environment.
    EXPECT_EQ(lines.find("\nPATH="), std::string::npos) << body;
    ExpectNoExchangeFilesLeft();
}

TEST_F(Programs, PostBodyLineBecomesTheQuery) {
    std::string program = Install("cgi_echo", "echo", root_ / "cgi");
    std::string body = PlainLines(Body(Ask("POST /" + program + " HTTP/1.0\r\nContent-Length: 7\r\n\r\nx=1&y=2\r\n")));
    EXPECT_NE(body.find("REQUEST_METHOD=POST\n"), std::string::npos) << body;
    EXPECT_NE(body.find("STDIN=x=1&y=2\n"), std::string::npos) << body;
    EXPECT_NE(body.find("QUERY_STRING=x=1&y=2\n"), std::string::npos) << body;
    // A body without a line end (as browsers send forms) is the query all the same.
    body = PlainLines(Body(Ask("POST /" + program + " HTTP/1.0\r\n\r\nx=1")));
    EXPECT_NE(body.find("QUERY_STRING=x=1\n"), std::string::npos) << body;
}

TEST_F(Programs, OutputIsCutAt10000Bytes) {
    std::string program = Install("cgi_big", "big", root_ / "cgi");
    std::string got = Get("/" + program);
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        char record[16];
        std::snprintf(record, sizeof record, "%09d.", i * 10);
        expected += record;
    }
    EXPECT_EQ(got, Head("HTTP/1.0 200 OK", "text/html", 10000) + expected + "\r\n\r\n");
    ExpectNoExchangeFilesLeft();
}

TEST_F(Programs, SilentProgramGivesEmptyBody) {
    std::string program = Install("cgi_silent", "quiet", root_ / "cgi");
    EXPECT_EQ(Get("/" + program), Head("HTTP/1.0 200 OK", "text/html", 0) + "\r\n\r\n");
}

TEST_F(Programs, MissingProgramGets500Page) {
    std::string name = "nothere" + Ending();
    std::string page = "<P>Process failed to start.</p>\r<p>CGIDir: " + cgi_ + "</p>\r<p>CGIExe: " + name + "</p>\r";
    EXPECT_EQ(Get("/" + name), Head("HTTP/1.0 500 Internal Server Error", "text/html", page.size()) + page + "\r\n\r\n");
    ExpectNoExchangeFilesLeft();
}

TEST_F(Programs, ProgramsOutsideTheDirectoryAreNeverRun) {
    std::string program = Install("cgi_echo", "echo", root_);
    std::vector<std::string> targets = {"/../" + program, "/..\\" + program};
    // Where the file system offers symbolic links, a link out is refused too.
    std::error_code noLinks;
    fs::create_symlink(root_ / program, root_ / "cgi" / ("linked" + Ending()), noLinks);
    if (!noLinks) targets.push_back("/linked" + Ending());
    for (const std::string& target : targets) {
        std::string got = Get(target);
        EXPECT_EQ(got.rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u) << target << ": " << got.substr(0, 100);
        EXPECT_EQ(got.find("ARG="), std::string::npos) << target;
    }
}

}  // namespace
