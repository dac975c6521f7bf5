// Names that Windows would rewrite or read as something else (a trailing dot,
// a stream suffix, a device, a short alias) never reach a file or a program,
// and a batch program's query never becomes a second command. On Linux the
// same requests must get the same answers.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "answer_checks.h"
#include "host.h"
#include "library.h"
#include "raw_client.h"
#include "test_ports.h"

namespace {

namespace fs = std::filesystem;

const char kPage[] = "<p>the real page</p>";
const char kNotFoundStatus[] = "HTTP/1.0 404 Not Found\r\n";

std::atomic<int> g_nextPort{qvtest::TestPort(500)};

class WindowsNames : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("quorvex_names_" + std::to_string(g_nextPort.load()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        WriteFile("page.htm", kPage);
        WriteFile("longpagename.htm", kPage);
        program_ = "prog" + ProgramExtension();
        fs::copy_file(qvtest::TestProgramPath("cgi_echo"), dir_ / program_);
        WriteBatchProgram();

        const qvtest::Api& a = qvtest::api();
        ASSERT_NE(a.ServerStart, nullptr);
        a.StopServerCallback();
        a.WEBSRVCLEARWINDOW();
        const std::string directory = dir_.string() + qvtest::DirectorySeparator();
        a.SetServerDir(directory.c_str());
        a.WEBSRVSETCGI(directory.c_str());
        port_ = g_nextPort++;
        ASSERT_EQ(a.ServerStart(port_), 0);
    }

    void TearDown() override {
        qvtest::api().ServerStop();
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // A program copied from the test programs runs under ".exe" on Windows
    // and under ".cgi" on Linux, where it has no suffix of its own.
    static std::string ProgramExtension() { return qvtest::ProgramSuffix().empty() ? ".cgi" : ".exe"; }

    void WriteFile(const std::string& name, const std::string& bytes) {
        std::ofstream out(dir_ / name, std::ios::binary);
        out << bytes;
    }

    // A ".bat" program: a batch file for the command interpreter on Windows,
    // a shell script on Linux. Either prints its query without reading it
    // as commands.
    void WriteBatchProgram() {
        if (qvtest::ProgramSuffix().empty()) {
            WriteFile("show.bat", "#!/bin/sh\necho batch ran\necho \"QUERY_STRING=$QUERY_STRING\"\n");
            fs::permissions(dir_ / "show.bat", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
        } else {
            WriteFile("show.bat", "@echo off\r\necho batch ran\r\nset QUERY_STRING\r\n");
        }
    }

    std::string Get(const std::string& url) {
        std::string received;
        qvtest::PumpWhile([&] {
            received = qvtest::Talk(qvtest::ServerAddress(), static_cast<uint16_t>(port_),
                                    "GET " + url + " HTTP/1.0\r\n\r\n")
                           .received;
            received = qvtest::WithoutValidators(received);
        });
        return received;
    }

    fs::path dir_;
    std::string program_;
    int port_ = 0;
};

// Every line of an answer, without line ends.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

TEST_F(WindowsNames, TheRealNamesAreServedAndRun) {
    const std::string page = Get("/page.htm");
    EXPECT_EQ(page.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << page;
    EXPECT_NE(page.find(kPage), std::string::npos);

    const std::string program = Get("/" + program_ + "?q=1");
    EXPECT_EQ(program.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << program;
    EXPECT_NE(program.find("QUERY_STRING=q=1"), std::string::npos) << program;
}

TEST_F(WindowsNames, RewrittenOrDeviceNamesGetTheNotFoundResponse) {
    const std::vector<std::string> urls = {
        "/page.htm.",           // a trailing dot Windows drops
        "/page.htm..",          // several of them
        "/page.htm::$DATA",     // the file's unnamed data stream
        "/page.htm:hidden",     // a named stream
        "/" + program_ + ".",   // a program reached through a trailing dot
        "/" + program_ + "::$DATA?q=1",
        "/CON",                 // devices, with and without an extension, any case
        "/con.htm",
        "/NUL.txt",
        "/aux.htm",
        "/COM1",
        "/lpt1.htm",
        "/prn.gif",
        "/LONGPA~1.HTM",        // a short alias of longpagename.htm
        "/C:page.htm",          // a drive-relative name
    };
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        const std::string answer = Get(url);
        EXPECT_EQ(answer.rfind(kNotFoundStatus, 0), 0u) << answer.substr(0, 200);
        EXPECT_EQ(answer.find(kPage), std::string::npos);
        EXPECT_EQ(answer.find("ARG="), std::string::npos) << "the program ran";
    }
}

TEST_F(WindowsNames, BatchQueryNeverBecomesASecondCommand) {
    // The URL ends at its first space, so each second command is written without one.
    const std::vector<std::string> queries = {"&echo.INJECTED", "|echo.INJECTED", "&&echo.INJECTED",
                                              "\"&echo.INJECTED", "^&echo.INJECTED", "%COMSPEC%&echo.INJECTED"};
    for (const std::string& query : queries) {
        SCOPED_TRACE(query);
        const std::string answer = Get("/show.bat?" + query);
        EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << answer;
        const std::vector<std::string> lines = Lines(answer);
        EXPECT_NE(std::find(lines.begin(), lines.end(), "batch ran"), lines.end()) << answer;
        EXPECT_NE(std::find(lines.begin(), lines.end(), "QUERY_STRING=" + query), lines.end()) << answer;
        EXPECT_EQ(std::find(lines.begin(), lines.end(), "INJECTED"), lines.end()) << answer;
    }
}

}  // namespace
