// Hostile names and bytes in the request line and the header: nothing
// outside the document or program directory is served or run, every such
// request gets a complete answer, and control bytes never reach a name or a
// program's environment.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "answer_checks.h"
#include "server_fixture.h"

namespace {

using qvtest::Head;
namespace fs = std::filesystem;

const std::string kSecret = "the secret outside every served directory";
const std::string kPage = "<p>inside</p>";

class BadNames : public qvtest::ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        WriteFile(root_ / "outside.htm", kSecret);
        WriteFile(root_ / "docs" / "page.htm", kPage);
        fs::create_directories(root_ / "docs" / "inner");
        fs::create_directories(root_ / "cgi" / "inner");
        fs::copy_file(qvtest::TestProgramPath("cgi_echo"), root_ / ("escape" + Ending()));
        fs::copy_file(qvtest::TestProgramPath("cgi_echo"), root_ / "cgi" / ("echo" + Ending()));
    }

    // Programs run under ".cgi" natively and ".exe" on Windows.
    static std::string Ending() { return qvtest::ProgramSuffix().empty() ? ".cgi" : ".exe"; }

    std::string PageAnswer() const { return Head("HTTP/1.0 200 OK", "text/html", kPage.size()) + kPage + "\r\n\r\n"; }

    // Asks with the target as the request line's URL and checks the 404 answer with nothing of the secret in it.
    void ExpectRefused(const std::string& target) {
        std::string got = Get(target);
        EXPECT_TRUE(qvtest::IsNotFoundAnswer(got)) << "[" << target << "] " << got.substr(0, 200);
        EXPECT_EQ(got.find(kSecret), std::string::npos) << target;
        EXPECT_EQ(got.find("ARG="), std::string::npos) << target << ": a program ran";
    }
};

TEST_F(BadNames, DotDotInEveryPositionAndEveryFormIsRefused) {
    const std::vector<std::string> targets = {
        "/../outside.htm",        "/..\\outside.htm",           "../outside.htm",
        "..\\outside.htm",        "/inner/../../outside.htm",   "/inner/..\\..\\outside.htm",
        "/inner\\..\\../outside.htm", "/inner/../page.htm",     "/inner/..",
        "/inner/../",             "/inner/..\\",                "/..",
        "/../",                   "/..\\",                      "/...\\outside.htm",
        "/inner/.../outside.htm", "/./../outside.htm",          "/../outside.htm?x=1",
        "/inner/../../outside.htm?../../x", "/..\\..\\..\\..\\..\\..\\..\\etc\\passwd",
    };
    for (const std::string& target : targets) ExpectRefused(target);
    // Encoded dots are not decoded: they name nothing.
    for (const char* target : {"/%2e%2e/outside.htm", "/inner/..%2f..%2foutside.htm", "/..%5coutside.htm"}) {
        ExpectRefused(target);
    }
}

TEST_F(BadNames, DoubledSeparatorsAbsoluteNamesAndDrivesAreRefused) {
    const std::string absolute = (root_ / "outside.htm").string();
    const std::vector<std::string> targets = {
        "//outside.htm",
        "//../outside.htm",
        "/inner//../../outside.htm",
        "/inner//page.htm",
        "///etc/passwd",
        "\\\\localhost\\C$\\windows\\win.ini",
        "/" + absolute,
        absolute,
        "/C:/windows/win.ini",
        "/c:\\windows\\win.ini",
        "/C:outside.htm",
        "/C:",
        "/Z:/outside.htm",
        "/\\\\?\\C:\\windows\\win.ini",
        "/\\\\.\\C:\\windows\\win.ini",
        "/inner/C:/outside.htm",
    };
    for (const std::string& target : targets) ExpectRefused(target);
}

TEST_F(BadNames, WindowsNameTricksJoinedToATraversalAreRefused) {
    const std::vector<std::string> targets = {
        "/../outside.htm.",      "/..\\outside.htm::$DATA", "/../outside.htm:stream",
        "/.. ./outside.htm",     "/OUTSID~1.HTM",           "/../OUTSID~1.HTM",
        "/../con",               "/inner/../nul.htm",       "/CONIN$",
        "/inner/COM1.txt",       "/page.htm.",              "/page.htm::$DATA",
    };
    for (const std::string& target : targets) ExpectRefused(target);
}

TEST_F(BadNames, ProgramsOutsideTheProgramDirectoryAreNeverRun) {
    const std::string program = "escape" + Ending();
    const std::string absolute = (root_ / program).string();
    const std::vector<std::string> targets = {
        "../" + program,
        "..\\" + program + "?a=1",
        "/inner/../../" + program,
        "/inner/..\\..\\" + program + "?x=..\\y",
        "//" + program,
        "/" + absolute,
        "/" + absolute + "?q=1",
        "/C:" + program,
        "/../echo" + Ending() + ".",
        "/..\\" + program + "::$DATA",
    };
    for (const std::string& target : targets) ExpectRefused(target);
    // A POST names the program the same way.
    std::string got = Ask("POST /../" + program + " HTTP/1.0\r\n\r\nq=1\r\n");
    EXPECT_TRUE(qvtest::IsNotFoundAnswer(got)) << got.substr(0, 200);
    EXPECT_EQ(got.find("ARG="), std::string::npos);
}

TEST_F(BadNames, ThousandByteUrlWithoutASpaceGetsACompleteAnswer) {
    const std::string name(1000, 'a');
    struct Case {
        std::string request;
        const char* status;
    } cases[] = {
        {"GET /" + name + "\r\n\r\n", "HTTP/1.0 404 Not Found\r\n"},
        {"POST /" + name + "\r\n\r\n", "HTTP/1.0 404 Not Found\r\n"},
        {"GET /" + name.substr(0, 996) + ".htm\r\n\r\n", "HTTP/1.0 404 Not Found\r\n"},
        // A program that cannot exist under such a name cannot be started.
        {"GET /" + name.substr(0, 990) + Ending() + "?q\r\n\r\n", "HTTP/1.0 500 Internal Server Error\r\n"},
    };
    for (const Case& c : cases) {
        std::string got = Ask(c.request);
        EXPECT_EQ(got.rfind(c.status, 0), 0u) << c.request.substr(0, 40) << ": " << got.substr(0, 100);
    }
}

TEST_F(BadNames, RequestLineWithoutUrlGetsNotFound) {
    const std::vector<std::string> requests = {
        "GET\r\n\r\n", "GET \r\n\r\n", "POST\r\n\r\n",
        "GET  HTTP/1.0\r\n\r\n", "POST  HTTP/1.0\r\n\r\nq=1\r\n", "get\r\n\r\n",
    };
    for (const std::string& request : requests) {
        std::string got = Ask(request);
        EXPECT_TRUE(qvtest::IsNotFoundAnswer(got)) << request << ": " << got.substr(0, 100);
    }
    // PUT is a method the server does not implement: with no file named, 501.
    const std::string put = Ask("PUT\r\nHost: h\r\n\r\n");
    EXPECT_EQ(put.rfind("HTTP/1.0 501 Not Implemented\r\n", 0), 0u) << put.substr(0, 100);
    // HEAD gets the same header without the page.
    const std::string page = Ask("GET\r\n\r\n");
    EXPECT_EQ(Ask("HEAD\r\n\r\n"), page.substr(0, page.find("\r\n\r\n") + 4));
}

// Bytes 0 to 26 except CR and LF are dropped before the request is read; an
// LF ends the line (so the name ends before it); every other byte stays in the
// name, which then names no file.
TEST_F(BadNames, EveryControlAndHighByteInTheRequestLine) {
    for (int value = 0; value < 256; ++value) {
        if (value >= 32 && value < 127) continue;
        const char byte = static_cast<char>(value);
        std::string got = Ask(std::string("GET /pa") + byte + "ge.htm HTTP/1.0\r\n\r\n");
        const bool dropped = value <= 26 && value != 13 && value != 10;
        if (dropped) {
            EXPECT_EQ(got, PageAnswer()) << "byte " << value;
        } else if (value == 10) {
            // The request line ends at the LF: "/pa" is looked up, and is not there.
            EXPECT_TRUE(qvtest::IsNotFoundAnswer(got)) << got.substr(0, 100);
        } else if (value == 13) {
            // A CR without its LF ends no line: the request is refused.
            EXPECT_EQ(got.rfind("HTTP/1.0 400 Bad Request\r\n", 0), 0u) << got.substr(0, 100);
        } else {
            EXPECT_TRUE(qvtest::IsNotFoundAnswer(got)) << "byte " << value << ": " << got.substr(0, 100);
        }
    }
}

TEST_F(BadNames, EveryControlAndHighByteInHeaderValues) {
    for (int value = 0; value < 256; ++value) {
        if (value >= 32 && value < 127) continue;
        const char byte = static_cast<char>(value);
        std::string request = std::string("GET /page.htm HTTP/1.0\r\nUser-Agent: a") + byte + "b\r\nHost: " + byte +
                              "\r\nX-Other: " + byte + byte + "\r\n\r\n";
        const std::string got = Ask(request);
        if (value == 13) {
            // A CR without its LF ends no line: the request is refused.
            EXPECT_EQ(got.rfind("HTTP/1.0 400 Bad Request\r\n", 0), 0u) << got.substr(0, 100);
        } else {
            EXPECT_EQ(got, PageAnswer()) << "byte " << value;
        }
    }
}

// Control bytes cannot smuggle a variable into a program's environment or
// cut its query short: the value arrives without them. An LF ends the line
// it is in, so what follows it is a header line of its own, never a variable.
TEST_F(BadNames, ControlBytesNeverShapeAProgramsEnvironment) {
    const std::string program = "echo" + Ending();
    struct Case {
        std::string nul;       // bytes after the query's "a=1" and the user agent's "x"
        const char* query;     // what the program gets
        const char* userAgent;
    } cases[] = {
        {std::string("\0\x0b", 2), "a=1PATH=evil", " xHTTP_HOST=evil"},
        {std::string("\0\n", 2), "a=1", " x"},
    };
    for (const Case& c : cases) {
        const std::string request = "GET /" + program + "?a=1" + c.nul + "PATH=evil HTTP/1.0\r\nUser-Agent: x" +
                                    c.nul + "HTTP_HOST=evil\x01\x1a\r\nReferer: r\x7f\xff\r\n\r\n";
        std::string got = Ask(request);
        ASSERT_EQ(got.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << got.substr(0, 200);
        std::string body = qvtest::AnswerBody(got);
        body.erase(std::remove(body.begin(), body.end(), '\r'), body.end());
        EXPECT_NE(body.find("\nQUERY_STRING=" + std::string(c.query) + "\n"), std::string::npos) << body;
        EXPECT_NE(body.find("\nHTTP_USER_AGENT=" + std::string(c.userAgent) + "\n"), std::string::npos) << body;
        EXPECT_EQ(body.find("\nPATH=evil"), std::string::npos) << body;
        EXPECT_EQ(body.find("\nHTTP_HOST=evil"), std::string::npos) << body;
    }
}

}  // namespace
