// A server started through the library's exports, with its own document and
// program directories, and a client that talks to it while the test pumps.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "answer_checks.h"
#include "host.h"
#include "library.h"
#include "raw_client.h"
#include "test_ports.h"

namespace qvtest {

// Every fixture takes the next port, so no test meets a previous test's socket.
inline uint16_t NextServerPort() {
    static uint16_t offset = 80;
    return TestPort(offset++);
}

// The header block the server puts in front of every body.
inline std::string Head(const std::string& status, const std::string& type, size_t length) {
    return status + "\r\nServer: Quorvex Version 1.0\r\nContent-Type: " + type +
           "\r\nAccept-Ranges: bytes\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
}

class ServerFixture : public ::testing::Test {
protected:
    // Tells this run's scratch folders from those of another run of the suite at the same time.
    static const std::string& RunTag() {
        static const std::string tag = std::to_string(std::random_device{}());
        return tag;
    }

    void SetUp() override {
        namespace fs = std::filesystem;
        const Api& a = api();
        ASSERT_NE(a.ServerStart, nullptr);
        root_ = fs::temp_directory_path() /
                ("quorvex-server-" + RunTag() + "-" + std::to_string(port_) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "docs");
        fs::create_directories(root_ / "cgi");
        docs_ = (root_ / "docs").string() + DirectorySeparator();
        cgi_ = (root_ / "cgi").string() + DirectorySeparator();
        a.SetServerDir(docs_.c_str());
        a.WEBSRVSETCGI(cgi_.c_str());
        a.WEBSRVCLEARWINDOW();
        a.StopServerCallback();
        // The settings a test may have changed, back to the library's own.
        a.WEBSRVSETOPTION("programs", "1");
        a.WEBSRVSETOPTION("upload-limit", "1048576");
        a.WEBSRVSETOPTION("program-seconds", "10");
        a.WEBSRVSETOPTION("listen", "");
        if (startServer_) {
            ASSERT_EQ(a.ServerStart(port_), 0);
        }
    }

    void TearDown() override {
        api().ServerStop();
        api().WEBSRVCLEARWINDOW();
        api().StopServerCallback();
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary);
        out << bytes;
    }

    // Sends the request while this thread pumps the server's messages; every
    // byte the server sent but the lines that carry a file's time (see AskWhole).
    std::string Ask(const std::string& request, int pieces = 1, int pauseMs = 0, uint16_t* clientPort = nullptr) {
        return WithoutValidators(AskWhole(request, pieces, pauseMs, clientPort));
    }

    // Every byte the server sent.
    std::string AskWhole(const std::string& request, int pieces = 1, int pauseMs = 0,
                         uint16_t* clientPort = nullptr) {
        Exchange exchange;
        PumpWhile([&] { exchange = Talk(ServerAddress(), port_, request, 20000, pieces, pauseMs); });
        EXPECT_TRUE(exchange.connected);
        if (clientPort != nullptr) *clientPort = exchange.localPort;
        return exchange.received;
    }

    std::string Get(const std::string& target) { return Ask("GET " + target + " HTTP/1.0\r\n\r\n"); }

    // A setting changed, and the server started again to take it.
    void RestartWith(const char* name, const std::string& value) {
        ASSERT_EQ(api().WEBSRVSETOPTION(name, value.c_str()), 0) << name << "=" << value;
        api().ServerStop();
        ASSERT_EQ(api().ServerStart(port_), 0);
    }

    bool startServer_ = true;
    uint16_t port_ = NextServerPort();
    std::filesystem::path root_;
    std::string docs_;
    std::string cgi_;
};

// A server with one small page in its document directory, the answer that
// page gets, and programs copied in from the test programs.
class PageServerFixture : public ServerFixture {
protected:
    static constexpr const char* kPage = "<p>for everyone</p>";

    void SetUp() override {
        ServerFixture::SetUp();
        WriteFile(root_ / "docs" / "page.htm", kPage);
    }

    static std::string PageAnswer() {
        const std::string page = kPage;
        return Head("HTTP/1.0 200 OK", "text/html", page.size()) + page + "\r\n\r\n";
    }

    // Copies a test program into `dir` (the program directory unless given); the name to request.
    std::string InstallProgram(const std::string& program, const std::string& name,
                               const std::filesystem::path& dir = std::filesystem::path()) {
        const std::string file = name + (ProgramSuffix().empty() ? ".cgi" : ".exe");
        std::filesystem::copy_file(TestProgramPath(program), (dir.empty() ? root_ / "cgi" : dir) / file,
                                   std::filesystem::copy_options::overwrite_existing);
        return file;
    }
};

}  // namespace qvtest
