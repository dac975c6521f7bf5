// Programs run from the program directory: what they are given, what comes back.
#include <algorithm>
#include <filesystem>
#include <vector>

#include "abrupt_client.h"
#include "server_fixture.h"

namespace {

using qvtest::Head;
using namespace std::string_literals;
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
        "SERVER_PORT=" + std::to_string(port_) + "\n", "HTTP_HOST=h1\n",
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

// Form posts as browsers send them: the body by its length, whole on the
// program's input (then CR LF), its first line as the query.
TEST_F(Programs, FormPostsReachTheProgramWhole) {
    const std::string program = Install("cgi_body", "body", root_ / "cgi");
    const std::string multipart =
        "--XyZ\r\nContent-Disposition: form-data; name=\"f\"; filename=\"a.bin\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n\x00\x01\x1a\t\nbytes\r\n"
        "--XyZ\r\nContent-Disposition: form-data; name=\"t\"\r\n\r\nsecond part\r\n--XyZ--\r\n"s;
    struct Case {
        const char* what;
        std::string type;
        std::string body;
        std::string url;
    } cases[] = {
        {"url-encoded, no line end", "application/x-www-form-urlencoded", "a=1&b=caf%C3%A9+x", "/" + program},
        {"multipart with a small file", "multipart/form-data; boundary=XyZ", multipart, "/" + program},
        {"the URL's query is not part of the name", "text/plain", "x", "/" + program + "?from=url"},
    };
    for (const Case& c : cases) {
        const std::string got = Ask("POST " + c.url + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\nContent-Type: " + c.type +
                                    "\r\nContent-Length: " + std::to_string(c.body.size()) + "\r\n\r\n" + c.body);
        const std::string expected = "LENGTH=" + std::to_string(c.body.size()) + "\nTYPE=" + c.type + "\nBODY=" + c.body +
                                     "\r\n";
        EXPECT_EQ(Body(got), expected + "\r\n\r\n") << c.what;
    }
    // A GET has no body: an empty length.
    EXPECT_EQ(Body(Get("/" + program)).substr(0, 20), "LENGTH=\nTYPE=\nBODY=\r");
    ExpectNoExchangeFilesLeft();
}

TEST_F(Programs, PostedQueryAndTheNewVariables) {
    std::string program = Install("cgi_echo", "echo", root_ / "cgi");
    uint16_t clientPort = 0;
    const std::string body = PlainLines(
        Body(Ask("POST /" + program + "?ignored=1 HTTP/1.1\r\nHost: example.test:8080\r\nConnection: close\r\nCookie: sid=42; theme=dark\r\n"
                 "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 11\r\n\r\nq=1&r=2\r\nxy",
                 1, 0, &clientPort)));
    const std::string expected[] = {
        "ARG=" + program + "q=1&r=2\n", "STDIN=q=1&r=2\n", "QUERY_STRING=q=1&r=2\n",
        "HTTP_COOKIE=sid=42; theme=dark\n", "HTTP_HOST=example.test:8080\n",
        // The 37 entries keep their values: the Host line still goes to these two as it was.
        "REMOTE_ADDRESS= example.test:8080\n", "REMOTE_HOST= example.test:8080\n",
        "CONTENT_LENGTH=11\n", "CONTENT_TYPE=application/x-www-form-urlencoded\n",
        "REMOTE_ADDR=" + qvtest::ServerAddress() + "\n",
    };
    for (const std::string& line : expected) EXPECT_NE(body.find(line), std::string::npos) << line << body;
    // The added entries come after the 37, in this order.
    const size_t last = body.find("SERVER_PORT_SECURE=\n");
    ASSERT_NE(last, std::string::npos);
    const std::string added = "SERVER_PORT_SECURE=\nCONTENT_LENGTH=11\nCONTENT_TYPE=application/x-www-form-urlencoded\n"
                              "REMOTE_ADDR=" + qvtest::ServerAddress() + "\n";
    // (Under Wine the system puts its own variables after the block.)
    EXPECT_EQ(body.substr(last, added.size()), added);
    if (qvtest::ProgramSuffix().empty()) {
        EXPECT_EQ(body.substr(last), added + "\n\n");
    }
}

// A body that comes after the header, later than the 100-ms mark, is waited
// for; one that never comes whole starts nothing.
TEST_F(Programs, PostBodyIsWaitedForAndAnIncompleteOneStartsNothing) {
    const std::string program = Install("cgi_body", "body", root_ / "cgi");
    const std::string head = "POST /" + program + " HTTP/1.0\r\nContent-Length: 10\r\n\r\n";
    qvtest::Exchange late;
    qvtest::PumpWhile([&] { late = qvtest::TalkInPieces(qvtest::ServerAddress(), port_, {head + "01234", "56789"}, 400); });
    EXPECT_NE(late.received.find("BODY=0123456789\r\n"), std::string::npos) << late.received;

    qvtest::Exchange cut;
    qvtest::PumpWhile([&] {
        cut = qvtest::TalkAndEnd(qvtest::ServerAddress(), port_, head + "01234", qvtest::ClientEnding::HalfClose, 20000);
    });
    EXPECT_TRUE(cut.closedByServer);
    EXPECT_EQ(cut.received, "");
    ExpectNoExchangeFilesLeft();
}

// (A program whose output does not depend on the method: its length is
// known only once it has run.)
TEST_F(Programs, HeadRunsTheProgramAndSendsTheHeaderOnly) {
    std::string program = Install("cgi_big", "big", root_ / "cgi");
    const std::string whole = Get("/" + program + "?a=1");
    const std::string head = Ask("HEAD /" + program + "?a=1 HTTP/1.0\r\n\r\n");
    ASSERT_EQ(whole.rfind(Head("HTTP/1.0 200 OK", "text/html", 15000), 0), 0u) << whole.substr(0, 200);
    EXPECT_EQ(head, whole.substr(0, whole.find("\r\n\r\n") + 4));
}

TEST_F(Programs, DecodedProgramNames) {
    Install("cgi_echo", "my prog", root_ / "cgi");
    std::string got = Get("/my%20prog" + Ending() + "?q");
    EXPECT_NE(got.find("STDIN=q"), std::string::npos) << got.substr(0, 200);
    // (On Windows the C runtime splits the command line at the name's space.)
    if (qvtest::ProgramSuffix().empty()) {
        EXPECT_NE(got.find("ARG=my prog" + Ending() + "q"), std::string::npos) << got.substr(0, 200);
    }
    // Escapes never lead out of the directory or name what the text does not show.
    Install("cgi_echo", "echo", root_);
    for (const std::string& target : {"/%2e%2e%2fecho" + Ending(), "/..%5cecho" + Ending(), "/%2e%2e/echo" + Ending(),
                                      "/echo%00" + Ending(), "/%C0%AE%C0%AE/echo" + Ending()}) {
        got = Get(target);
        EXPECT_EQ(got.rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u) << target << ": " << got.substr(0, 100);
    }
}

// The whole output, not its first 10,000 bytes.
TEST_F(Programs, WholeOutputComesBack) {
    std::string program = Install("cgi_big", "big", root_ / "cgi");
    std::string got = Get("/" + program);
    std::string expected;
    for (int i = 0; i < 1500; ++i) {
        char record[16];
        std::snprintf(record, sizeof record, "%09d.", i * 10);
        expected += record;
    }
    EXPECT_TRUE(got == Head("HTTP/1.0 200 OK", "text/html", 15000) + expected + "\r\n\r\n") << got.substr(0, 200);
    ExpectNoExchangeFilesLeft();
}

TEST_F(Programs, SilentProgramGivesEmptyBody) {
    std::string program = Install("cgi_silent", "quiet", root_ / "cgi");
    EXPECT_EQ(Get("/" + program), Head("HTTP/1.0 200 OK", "text/html", 0) + "\r\n\r\n");
}

TEST_F(Programs, MissingProgramGets500Page) {
    // The program is missing, or the whole program directory is.
    const std::string missingDirectory = (root_ / "no-such-cgi").string() + qvtest::DirectorySeparator();
    for (const std::string& dir : {cgi_, missingDirectory}) {
        SCOPED_TRACE(dir);
        qvtest::api().WEBSRVSETCGI(dir.c_str());
        std::string name = "nothere" + Ending();
        std::string page = "<P>Process failed to start.</p>\r<p>CGIDir: " + dir + "</p>\r<p>CGIExe: " + name + "</p>\r";
        EXPECT_EQ(Get("/" + name),
                  Head("HTTP/1.0 500 Internal Server Error", "text/html", page.size()) + page + "\r\n\r\n");
        // A name that would leave the directory is still refused as such.
        EXPECT_EQ(Get("/../" + name).rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u);
    }
    EXPECT_FALSE(fs::exists(root_ / "no-such-cgi"));
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
