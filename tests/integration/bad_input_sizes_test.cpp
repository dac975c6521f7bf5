// Requests too long, too many lines, random bytes and lines of nothing: each
// gets a bounded outcome (an answer or a close without one), and the server
// answers the next client as before.
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "abrupt_client.h"
#include "answer_checks.h"
#include "server_fixture.h"

namespace {

using qvtest::Head;
using Clock = std::chrono::steady_clock;

const std::string kPage = "<p>still here</p>";

class BadSizes : public qvtest::ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        WriteFile(root_ / "docs" / "page.htm", kPage);
        InstallProgram("cgi_drain", "drain");
    }

    void InstallProgram(const std::string& program, const std::string& name) {
        program_ = name + (qvtest::ProgramSuffix().empty() ? ".cgi" : ".exe");
        std::filesystem::copy_file(qvtest::TestProgramPath(program), root_ / "cgi" / program_);
    }

    std::string PageAnswer() const { return Head("HTTP/1.0 200 OK", "text/html", kPage.size()) + kPage + "\r\n\r\n"; }

    // Sends the bytes and reports what came back and whether the connection
    // ended (by a close or a reset) well before the client's own time-out.
    qvtest::Exchange Send(const std::string& bytes, bool& endedInTime) {
        qvtest::Exchange exchange;
        const auto start = Clock::now();
        qvtest::PumpWhile([&] { exchange = qvtest::Talk(qvtest::ServerAddress(), port_, bytes, 20000); });
        endedInTime = Clock::now() - start < std::chrono::seconds(15);
        return exchange;
    }

    // The same, the client saying it has finished sending once the bytes are out.
    qvtest::Exchange SendAndFinish(const std::string& bytes, bool& endedInTime) {
        qvtest::Exchange exchange;
        const auto start = Clock::now();
        qvtest::PumpWhile([&] {
            exchange = qvtest::TalkAndEnd(qvtest::ServerAddress(), port_, bytes, qvtest::ClientEnding::HalfClose, 20000);
        });
        endedInTime = Clock::now() - start < std::chrono::seconds(15);
        return exchange;
    }

    void ExpectStillServing(const std::string& after) {
        EXPECT_EQ(Get("/page.htm"), PageAnswer()) << "after " << after;
    }

    std::string program_;
};

// A header may take up to 16 KiB, however little of it the server keeps
// (cookies and other lines cost nothing); past that the answer is 431.
TEST_F(BadSizes, HeaderUpTo16KiBIsReadAndLongerIsRefused) {
    const std::string line = "GET /page.htm HTTP/1.0\r\n";
    // The filler makes the request's last CR (the one that ends the header) land at `lastCr`.
    auto RequestEndingAt = [&](size_t lastCr) {
        const std::string start = line + "X-Filler: ";
        return start + std::string(lastCr - start.size() - 3, 'f') + "\r\n\r\n";
    };
    const std::string refused = "HTTP/1.0 431 Request Header Fields Too Large\r\n";
    struct Case {
        std::string request;
        bool answered;
        const char* what;
    } cases[] = {
        {RequestEndingAt(1025), true, "empty line's CR is byte 1,025"},
        {line + "Cookie: " + std::string(4096, 'c') + "\r\nHost: h\r\n\r\n", true, "4 KB of cookies"},
        {RequestEndingAt(16384), true, "empty line's CR is byte 16,384"},
        {RequestEndingAt(16385), false, "empty line's CR is byte 16,385"},
        {"GET /" + std::string(17000, 'p') + ".htm HTTP/1.0\r\n\r\n", false, "a request line of 17,000 bytes"},
        {line + "User-Agent: " + std::string(70000, 'u') + "\r\n\r\n", false, "a 70,000-byte header value"},
    };
    for (const Case& c : cases) {
        bool endedInTime = false;
        qvtest::Exchange got = Send(c.request, endedInTime);
        EXPECT_TRUE(got.connected) << c.what;
        EXPECT_TRUE(endedInTime) << c.what;
        if (c.answered) {
            EXPECT_EQ(qvtest::WithoutValidators(got.received), PageAnswer()) << c.what;
        } else {
            EXPECT_EQ(got.received.rfind(refused, 0), 0u) << c.what << ": " << got.received.substr(0, 80);
            // A whole answer with its page, as the 404 answer has.
            const std::string page = qvtest::AnswerBody(got.received);
            EXPECT_NE(page.find("431 Request Header Fields Too Large"), std::string::npos) << c.what;
            EXPECT_NE(got.received.find("Content-Length: " + std::to_string(page.size() - 2) + "\r\n"),
                      std::string::npos)
                << c.what;
        }
    }
    ExpectStillServing("long headers");
}

// A client refused while it is still sending (a 70,000-byte header, sent
// in two halves) sends the rest unhindered and then reads its 431: the
// server reads and drops its last bytes before the close instead of
// resetting the connection under the answer.
TEST_F(BadSizes, ARefusedClientStillSendingReceivesItsAnswer) {
    const std::string request = "GET /page.htm HTTP/1.0\r\nUser-Agent: " + std::string(70000, 'u') + "\r\n\r\n";
    qvtest::Exchange got;
    qvtest::PumpWhile([&] {
        got = qvtest::TalkInPieces(qvtest::ServerAddress(), port_, {request.substr(0, 35000), request.substr(35000)},
                                   300, 20000);
    });
    EXPECT_TRUE(got.sentAll) << "the server reset the connection while the client was still sending";
    EXPECT_EQ(got.received.rfind("HTTP/1.0 431 Request Header Fields Too Large\r\n", 0), 0u)
        << got.received.substr(0, 80);
    EXPECT_TRUE(got.closedByServer);
    ExpectStillServing("a refusal read to its end");
}

TEST_F(BadSizes, RandomBytesEndWithinTheTimeOut) {
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 random(seed);
        std::string noise(64 * 1024, '\0');
        for (char& c : noise) c = static_cast<char>(random() & 0xff);
        const std::string prefixes[] = {"", "GET /page.htm HTTP/1.0\r\n", "POST /" + program_ + " HTTP/1.0\r\n\r\n"};
        for (const std::string& prefix : prefixes) {
            bool endedInTime = false;
            qvtest::Exchange got = Send(prefix + noise, endedInTime);
            EXPECT_TRUE(endedInTime) << "seed " << seed << ", prefix " << prefix;
            // Whatever the noise decides, anything sent is a whole answer.
            if (!got.received.empty()) {
                EXPECT_EQ(got.received.rfind("HTTP/1.0 ", 0), 0u) << "seed " << seed << ": " << got.received.substr(0, 80);
            }
        }
        ExpectStillServing("random bytes, seed " + std::to_string(seed));
    }
}

// A posted body up to 1 MiB reaches the program whole (followed by CR LF);
// a longer one is refused with 413 and no program is started.
TEST_F(BadSizes, MegabytePostBody) {
    const std::string megabyte(1024 * 1024, 'b');
    struct Case {
        std::string body;
        size_t length;  // the Content-Length sent
        bool taken;
        const char* what;
    } cases[] = {
        {megabyte, megabyte.size(), true, "one line of a megabyte"},
        {"q=1\r\n" + megabyte.substr(5), megabyte.size(), true, "a short line, then the rest of a megabyte"},
        {"q=1\r\n" + megabyte, megabyte.size() + 5, false, "a megabyte and 5 bytes"},
        {megabyte, 100 * megabyte.size(), false, "a length of 100 MiB"},
    };
    for (const Case& c : cases) {
        bool endedInTime = false;
        const std::string head = "POST /" + program_ + " HTTP/1.0\r\nContent-Length: " + std::to_string(c.length) + "\r\n\r\n";
        qvtest::Exchange got = Send(head + c.body, endedInTime);
        EXPECT_TRUE(endedInTime) << c.what;
        if (!c.taken) {
            EXPECT_EQ(got.received.rfind("HTTP/1.0 413 Content Too Large\r\n", 0), 0u)
                << c.what << ": " << got.received.substr(0, 100);
            continue;
        }
        ASSERT_EQ(got.received.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << c.what << ": " << got.received.substr(0, 100);
        std::string count = qvtest::AnswerBody(got.received);
        count = count.substr(0, count.find('\r'));
        // The body and the CR LF after it; Windows text mode reads each CR LF as one byte.
        size_t lineEnds = 1;
        for (size_t at = c.body.find("\r\n"); at != std::string::npos; at = c.body.find("\r\n", at + 2)) ++lineEnds;
        const std::string binary = std::to_string(c.body.size() + 2);
        const std::string text = std::to_string(c.body.size() + 2 - lineEnds);
        EXPECT_TRUE(count == binary || count == text) << c.what << ": the program read " << count;
    }
    // A POST to a file is answered with the file whatever follows the header.
    bool endedInTime = false;
    qvtest::Exchange got = Send("POST /page.htm HTTP/1.0\r\n\r\n" + megabyte, endedInTime);
    EXPECT_TRUE(endedInTime);
    EXPECT_EQ(qvtest::WithoutValidators(got.received), PageAnswer());
    ExpectStillServing("a megabyte body");
}

// The upload limit is the host's "upload-limit" setting, taken by the next
// start: a body up to it reaches the program whole, one byte more gets 413.
// A setting refused (an unknown name, a value out of range or not a number)
// changes nothing.
TEST_F(BadSizes, TheUploadLimitIsTheHostsSetting) {
    const struct {
        const char* name;
        const char* value;
        int32_t result;
    } calls[] = {
        {"upload-limit", "10", 0},
        {"upload-limit", "", -2},
        {"upload-limit", "-1", -2},
        {"upload-limit", " 20", -2},
        {"upload-limit", "20 MiB", -2},
        {"upload-limit", "2147483648", -2},
        {"upload-limit", nullptr, -2},
        {"programs", "0", -2},
        {"programs", "65", -2},
        {"program-seconds", "0", -2},
        {"uploadlimit", "20", -1},
        {nullptr, "20", -1},
    };
    for (const auto& call : calls) {
        EXPECT_EQ(qvtest::api().WEBSRVSETOPTION(call.name, call.value), call.result)
            << (call.name ? call.name : "(null)") << "=" << (call.value ? call.value : "(null)");
    }
    auto Post = [&](size_t size) {
        bool endedInTime = false;
        const std::string body(size, 'u');
        const qvtest::Exchange got = Send(
            "POST /" + program_ + " HTTP/1.0\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n" + body,
            endedInTime);
        EXPECT_TRUE(endedInTime) << size;
        if (got.received.rfind("HTTP/1.0 413 ", 0) == 0) return std::string("413");
        const std::string count = qvtest::AnswerBody(got.received);
        return count.substr(0, count.find('\r'));
    };
    const size_t threeMegabytes = size_t{3} << 20;
    struct Case {
        const char* limit;  // nullptr: the one in force
        size_t size;
        bool taken;
    } cases[] = {
        {nullptr, 1024 * 1024 + 1, false},  // the last start came before any setting
        {"10", 10, true},
        {"10", 11, false},
        {"3145728", threeMegabytes, true},
        {"3145728", threeMegabytes + 1, false},
    };
    for (const Case& c : cases) {
        if (c.limit != nullptr) RestartWith("upload-limit", c.limit);
        const std::string got = Post(c.size);
        // The program counts the body and the CR LF after it (one byte in Windows text mode).
        if (c.taken) {
            EXPECT_TRUE(got == std::to_string(c.size + 2) || got == std::to_string(c.size + 1))
                << "a body of " << c.size << " bytes under " << c.limit << ": " << got;
        } else {
            EXPECT_EQ(got, "413") << "a body of " << c.size << " bytes under " << (c.limit ? c.limit : "1 MiB");
        }
    }
    ExpectStillServing("uploads under the host's limit");
}

// Hundreds of header lines within 16 KiB are read; more than 16 KiB of them
// are refused; lines that never end in an empty line get no answer.
TEST_F(BadSizes, ManyHeaderLines) {
    auto Lines = [](int count) {
        std::string many;
        for (int i = 0; i < count; ++i) many += "X-Line-" + std::to_string(i) + ": v\r\n";
        return many;
    };
    std::string shortLines;
    for (int i = 0; i < 500; ++i) shortLines += "A\r\n";
    const std::string page = PageAnswer();
    const std::string refused = "HTTP/1.0 431 Request Header Fields Too Large\r\n";
    struct Case {
        std::string request;
        std::string answerStart;
        const char* what;
    } cases[] = {
        {"GET /page.htm HTTP/1.0\r\n" + Lines(500) + "\r\n", page, "500 named header lines"},
        {"GET /page.htm HTTP/1.0\r\n" + shortLines + "\r\n", page, "500 one-letter lines"},
        {"GET /page.htm HTTP/1.0\r\n" + Lines(2000) + "\r\n", refused, "2,000 named header lines"},
        {"GET /page.htm HTTP/1.0\r\n" + Lines(500), "", "500 lines and no end, then the client finishes"},
    };
    for (const Case& c : cases) {
        bool endedInTime = false;
        // (A client that just stops inside its header is waited for until the receive time-out.)
        qvtest::Exchange got = c.answerStart.empty() ? SendAndFinish(c.request, endedInTime) : Send(c.request, endedInTime);
        EXPECT_TRUE(endedInTime) << c.what;
        const std::string received = qvtest::WithoutValidators(got.received);
        EXPECT_EQ(received.substr(0, c.answerStart.size()), c.answerStart) << c.what;
        if (c.answerStart.empty()) {
            EXPECT_EQ(received, "") << c.what;
        }
    }
    ExpectStillServing("many header lines");
}

// A request of nothing but line ends has no request line: its empty path is
// not found, at once.
TEST_F(BadSizes, RequestsOfCarriageReturnsOnly) {
    const std::string requests[] = {
        "\r", "\r\r", std::string(1024, '\r'), std::string(5000, '\r'), "\r\n\r\n", [] {
            std::string pairs;
            for (int i = 0; i < 600; ++i) pairs += "\r\n";
            return pairs;
        }(),
    };
    for (const std::string& request : requests) {
        bool endedInTime = false;
        qvtest::Exchange got = Send(request, endedInTime);
        EXPECT_TRUE(endedInTime) << request.size() << " bytes";
        EXPECT_TRUE(qvtest::IsNotFoundAnswer(got.received)) << request.size() << " bytes: " << got.received.substr(0, 80);
    }
    ExpectStillServing("line ends only");
}

}  // namespace
