// Requests too long, too many lines, random bytes and lines of nothing: each
// gets a bounded outcome (an answer or a close without one), and the server
// answers the next client as before.
#include <chrono>
#include <random>
#include <string>
#include <vector>

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

    void ExpectStillServing(const std::string& after) {
        EXPECT_EQ(Get("/page.htm"), PageAnswer()) << "after " << after;
    }

    std::string program_;
};

// The request is decided by the first 1,024 bytes: an empty line that ends
// past them is never seen, and the connection closes without an answer.
TEST_F(BadSizes, HeaderPastTheSingleReadIsClosedWithoutAnAnswer) {
    const std::string line = "GET /page.htm HTTP/1.0\r\n";
    // The filler makes the request's last CR (the one that ends the header) land at `lastCr`.
    auto RequestEndingAt = [&](size_t lastCr) {
        const std::string start = line + "X-Filler: ";
        return start + std::string(lastCr - start.size() - 3, 'f') + "\r\n\r\n";
    };
    struct Case {
        std::string request;
        bool answered;
        const char* what;
    } cases[] = {
        {RequestEndingAt(1023), true, "empty line's CR is byte 1,023"},
        {RequestEndingAt(1024), true, "empty line's CR is byte 1,024"},
        {RequestEndingAt(1025), false, "empty line's CR is byte 1,025"},
        {RequestEndingAt(4000), false, "a 4,000-byte header"},
        {"GET /" + std::string(1100, 'p') + ".htm HTTP/1.0\r\n\r\n", false, "a request line of 1,100 bytes"},
        {line + "User-Agent: " + std::string(70000, 'u') + "\r\n\r\n", false, "a 70,000-byte header value"},
    };
    for (const Case& c : cases) {
        bool endedInTime = false;
        qvtest::Exchange got = Send(c.request, endedInTime);
        EXPECT_TRUE(got.connected) << c.what;
        EXPECT_TRUE(endedInTime) << c.what;
        EXPECT_EQ(got.received, c.answered ? PageAnswer() : std::string()) << c.what;
    }
    ExpectStillServing("long headers");
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

// The program sees at most the body's first line, and only from the first
// 1,024 bytes: the number it reports is the bytes it read, line end included.
TEST_F(BadSizes, MegabytePostBody) {
    const std::string megabyte(1024 * 1024, 'b');
    const std::string head = "POST /" + program_ + " HTTP/1.0\r\nContent-Length: 1048581\r\n\r\n";
    struct Case {
        std::string body;
        size_t line;  // the length of the line the program is given
        const char* what;
    } cases[] = {
        {megabyte, 0, "one line of a megabyte"},
        {"q=1\r\n" + megabyte, 3, "a short line, then a megabyte"},
        {megabyte + "\r\n", 0, "a megabyte line with its end"},
    };
    for (const Case& c : cases) {
        bool endedInTime = false;
        qvtest::Exchange got = Send(head + c.body, endedInTime);
        EXPECT_TRUE(endedInTime) << c.what;
        ASSERT_EQ(got.received.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << c.what << ": " << got.received.substr(0, 100);
        std::string count = qvtest::AnswerBody(got.received);
        count = count.substr(0, count.find('\r'));
        // The line and its end, which Windows text mode reads as one byte.
        const std::string withCrLf = std::to_string(c.line + 2);
        const std::string withNewline = std::to_string(c.line + 1);
        EXPECT_TRUE(count == withCrLf || count == withNewline) << c.what << ": the program read " << count;
    }
    // A POST to a file is answered with the file whatever follows the header.
    bool endedInTime = false;
    qvtest::Exchange got = Send("POST /page.htm HTTP/1.0\r\n\r\n" + megabyte, endedInTime);
    EXPECT_TRUE(endedInTime);
    EXPECT_EQ(got.received, PageAnswer());
    ExpectStillServing("a megabyte body");
}

TEST_F(BadSizes, FiveHundredHeaderLinesAreClosedWithoutAnAnswer) {
    std::string many;
    for (int i = 0; i < 500; ++i) many += "X-Line-" + std::to_string(i) + ": v\r\n";
    std::string shortLines;
    for (int i = 0; i < 500; ++i) shortLines += "A\r\n";
    struct Case {
        std::string request;
        const char* what;
    } cases[] = {
        {"GET /page.htm HTTP/1.0\r\n" + many + "\r\n", "500 named header lines"},
        {"GET /page.htm HTTP/1.0\r\n" + shortLines + "\r\n", "500 one-letter lines"},
        {"GET /page.htm HTTP/1.0\r\n" + many, "500 lines and no end"},
    };
    for (const Case& c : cases) {
        bool endedInTime = false;
        qvtest::Exchange got = Send(c.request, endedInTime);
        EXPECT_TRUE(endedInTime) << c.what;
        EXPECT_EQ(got.received, "") << c.what;
    }
    ExpectStillServing("500 header lines");
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
