// What a program writes becomes the answer: a header block of its own
// (status, type, redirect, cookies), or the page under the server's header as
// ever; the whole output in either case, sent from its file.
#include <algorithm>
#include <filesystem>
#include <string>

#include "process_memory.h"
#include "server_fixture.h"
#include "stream_client.h"

namespace {

using qvtest::Head;
namespace fs = std::filesystem;

class ProgramOutput : public qvtest::PageServerFixture {
protected:
    void SetUp() override {
        PageServerFixture::SetUp();
        replay_ = InstallProgram("cgi_replay", "replay");
    }

    // The answer to METHOD for the replay program writing `output`, byte for byte.
    std::string Replay(const std::string& method, const std::string& name, const std::string& output) {
        WriteFile(root_ / "cgi" / (name + ".out"), output);
        return AskWhole(method + " /" + replay_ + "?" + name + " HTTP/1.0\r\n\r\n");
    }

    void ExpectNoExchangeFilesLeft() {
        for (const auto& entry : fs::directory_iterator(root_ / "cgi")) {
            EXPECT_EQ(entry.path().filename().string().rfind("Quorvex", 0), std::string::npos) << entry.path();
        }
    }

    static std::string Header(const std::string& status, const std::string& lines) {
        return "HTTP/1.0 " + status + "\r\nServer: Quorvex Version 1.0\r\n" + lines + "\r\n";
    }

    std::string replay_;
};

// A program's own header block, with LF or CR LF line ends: its status, type,
// location and fields make the answer's header, the rest is the body, exactly
// its length long.
TEST_F(ProgramOutput, HeaderBlockMakesTheAnswer) {
    const std::string site = "http://127.0.0.1:" + std::to_string(port_) + "/";
    struct Case {
        const char* name;
        std::string output;
        std::string answer;
    } cases[] = {
        {"redirect",
         "Status: 302 Found\nLocation: " + site + "\nSet-Cookie: sid=abc123; Path=/\nSet-Cookie: theme=dark\n\n",
         Header("302 Found", "Content-Type: text/html\r\nContent-Length: 0\r\nLocation: " + site +
                                 "\r\nSet-Cookie: sid=abc123; Path=/\r\nSet-Cookie: theme=dark\r\n")},
        {"json", "Content-Type: application/json\r\n\r\n{\"a\":[1,2]}",
         Header("200 OK", "Content-Type: application/json\r\nContent-Length: 11\r\n") + "{\"a\":[1,2]}"},
        {"lfonly", "Status: 404 Not Here\nContent-Type: text/plain; charset=utf-8\nX-Reason: none\n\nmissing\r\n\n",
         Header("404 Not Here", "Content-Type: text/plain; charset=utf-8\r\nContent-Length: 10\r\nX-Reason: none\r\n") +
             "missing\r\n\n"},
        {"mixed", "Location: /page.htm\r\nX-One: 1\n\r\nbody",
         Header("302 Found", "Content-Type: text/html\r\nContent-Length: 4\r\nLocation: /page.htm\r\nX-One: 1\r\n") +
             "body"},
        {"statusalone", "Status: 201\n\ncreated",
         Header("201 Created", "Content-Type: text/html\r\nContent-Length: 7\r\n") + "created"},
        {"nocontent", "Status: 204 No Content\nX-Done: yes\n\nnot sent", Header("204 No Content", "X-Done: yes\r\n")},
        // The framing, the connection and the server's name are the server's own.
        {"owned",
         "Content-Type: text/plain\nContent-Length: 3\nConnection: keep-alive\nTransfer-Encoding: chunked\n"
         "Server: other\nDate: Mon, 01 Jan 2024 00:00:00 GMT\nKeep-Alive: timeout=5\nX-Kept: \t yes \n\nhello",
         Header("200 OK", "Content-Type: text/plain\r\nContent-Length: 5\r\nX-Kept: yes\r\n") + "hello"},
        {"blanks", "Content-Type:text/css\nX-Empty:\n\n",
         Header("200 OK", "Content-Type: text/css\r\nContent-Length: 0\r\nX-Empty: \r\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Replay("GET", c.name, c.output), c.answer);
        // HEAD: the same header, nothing after it.
        const std::string header = c.answer.substr(0, c.answer.find("\r\n\r\n") + 4);
        EXPECT_EQ(Replay("HEAD", c.name, c.output), header);
    }
    ExpectNoExchangeFilesLeft();
}

// Output without a header block is the page under the server's header, byte
// for byte as it always was, whatever it looks like.
TEST_F(ProgramOutput, PageWithoutHeaderBlockIsAnsweredAsEver) {
    struct Case {
        const char* name;
        std::string output;
    } cases[] = {
        {"page", "<html><body>hello</body></html>\n"},
        {"empty", ""},
        {"noemptyline", "Content-Type: text/plain\nhello\n"},
        {"notafield", "Status: fine\n\nbody"},
        {"otherfield", "X-Custom: 1\n\nbody"},
        {"emptyfirst", "\nContent-Type: text/plain\n\nbody"},
        {"badlocation", "Location: the old mill\n\nbody"},
        {"lowstatus", "Status: 100 Continue\n\nbody"},
        {"blockpastlimit", "Content-Type: text/plain\nX-Big: " + std::string(16400, 'b') + "\n\nbody"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string expected = Head("HTTP/1.0 200 OK", "text/html", c.output.size()) + c.output + "\r\n\r\n";
        EXPECT_TRUE(Replay("GET", c.name, c.output) == expected);
        EXPECT_EQ(Replay("HEAD", c.name, c.output), Head("HTTP/1.0 200 OK", "text/html", c.output.size()));
    }
}

// A block with a line that cannot be passed on (a control byte, a CR that is
// no line end, a line that is no field, a status given twice) is answered 502
// with a page of the server's: nothing of the block reaches the client.
TEST_F(ProgramOutput, MalformedHeaderBlockGets502AndNothingOfIt) {
    struct Case {
        const char* name;
        std::string output;
    } cases[] = {
        {"control", "Status: 302 Found\nLocation: /x\nSet-Cookie: a=1\x01Injected\n\nleaked text"},
        {"carriagereturn", "Content-Type: text/plain\nSet-Cookie: a=1\rInjected: yes\n\nleaked text"},
        {"zerobyte",
         "Content-Type: text/plain\nSet-Cookie: a=1" + std::string(1, '\0') + "Injected: yes\n\nleaked text"},
        {"nocolon", "Content-Type: text/plain\nInjected yes\n\nleaked text"},
        {"folded", "Content-Type: text/plain\nSet-Cookie: a=1\n Injected: yes\n\nleaked text"},
        {"badname", "Content-Type: text/plain\nInjected Name: yes\n\nleaked text"},
        {"twostatuses", "Status: 200 OK\nStatus: 302 Found\nInjected: yes\n\nleaked text"},
        {"badstatus", "Content-Type: text/plain\nStatus: 9000\nInjected: yes\n\nleaked text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string got = Replay("GET", c.name, c.output);
        EXPECT_EQ(got.rfind("HTTP/1.0 502 Bad Gateway\r\n", 0), 0u) << got.substr(0, 200);
        EXPECT_EQ(got.find("Injected"), std::string::npos) << got;
        EXPECT_EQ(got.find("Set-Cookie"), std::string::npos) << got;
        EXPECT_EQ(got.find("leaked text"), std::string::npos) << got;
    }
    ExpectNoExchangeFilesLeft();
}

// 20 MB of output comes back whole and byte for byte, with its true length,
// sent from the file as the client takes it: the server holds none of it.
TEST_F(ProgramOutput, TwentyMegabytesComeBackWholeWithFlatMemory) {
    const std::string records = InstallProgram("cgi_records", "records");
    const uint64_t size = 20000000;
    const std::string header = Head("HTTP/1.0 200 OK", "text/html", size);
    const std::string tail = "\r\n\r\n";
    size_t before = 0, most = 0;
    uint64_t received = 0, wrong = 0, firstWrong = 0;
    bool closed = false;
    qvtest::PumpWhile([&] {
        // A first megabyte, so the server's own buffers are in place before the measure.
        qvtest::Talk(qvtest::ServerAddress(), port_, "GET /" + records + "?1000000 HTTP/1.0\r\n\r\n", 20000);
        before = most = qvtest::ResidentBytes();
        qvtest::StreamClient client(qvtest::ServerAddress(), port_);
        ASSERT_TRUE(client.connected());
        client.Send("GET /" + records + "?" + std::to_string(size) + " HTTP/1.0\r\n\r\n");
        // Every byte checked as it comes, none kept.
        for (;;) {
            const std::string piece = client.Read(1 << 16, 20000);
            if (piece.empty()) break;
            for (char got : piece) {
                char expected;
                const uint64_t at = received++;
                if (at < header.size()) {
                    expected = header[at];
                } else if (at - header.size() < size) {
                    const uint64_t offset = at - header.size();
                    if (offset % 10 == 9) {
                        expected = '.';
                    } else {
                        uint64_t value = offset - offset % 10;
                        for (uint64_t digit = offset % 10; digit < 8; ++digit) value /= 10;
                        expected = static_cast<char>('0' + value % 10);
                    }
                } else if (at - header.size() - size < tail.size()) {
                    expected = tail[at - header.size() - size];
                } else {
                    expected = '\0';  // nothing may follow the closing line
                    ++wrong;
                    continue;
                }
                if (got != expected && wrong++ == 0) firstWrong = at;
            }
            most = std::max(most, qvtest::ResidentBytes());
        }
        closed = client.closedByServer();
    });
    EXPECT_TRUE(closed);
    EXPECT_EQ(received, header.size() + size + tail.size());
    EXPECT_EQ(wrong, 0u) << "first wrong byte at " << firstWrong;
    ExpectNoExchangeFilesLeft();
    if (!qvtest::kMemoryMeasurable || before == 0) return;
    const size_t mb = 1024 * 1024;
    EXPECT_LT((most - before) / mb, 8u) << "resident " << before / mb << " MB before, at most " << most / mb << " MB";
}

}  // namespace
