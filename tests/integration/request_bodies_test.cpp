// Request bodies as clients send them: a chunked body reaches its program
// decoded, a client that waits for "100 Continue" gets it before it sends its
// body (or its final answer at once when the body will not be read), and
// framing that leaves the body's end in doubt gets 400 and the close.
#include <algorithm>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "server_fixture.h"
#include "stream_client.h"

namespace {

class RequestBodies : public qvtest::PageServerFixture {
protected:
    void SetUp() override {
        PageServerFixture::SetUp();
        echo_ = InstallProgram("cgi_body", "body");
        digest_ = InstallProgram("cgi_digest", "digest");
    }

    // What cgi_body answers: the length and type it was given, then its
    // standard input, which is the body followed by CR LF.
    static std::string Echo(const std::string& body, const std::string& type) {
        return "LENGTH=" + std::to_string(body.size()) + "\nTYPE=" + type + "\nBODY=" + body + "\r\n";
    }

    // What cgi_digest answers for a body: its length, and the count and hash
    // of its standard input.
    static std::string Digest(const std::string& body) {
        const std::string input = body + "\r\n";
        uint64_t hash = 14695981039346656037ull;
        for (unsigned char c : input) {
            hash ^= c;
            hash *= 1099511628211ull;
        }
        std::ostringstream text;
        text << std::hex << std::setw(16) << std::setfill('0') << hash;
        return "LENGTH=" + std::to_string(body.size()) + " COUNT=" + std::to_string(input.size()) + " HASH=" +
               text.str();
    }

    std::string ChunkedPost(const std::string& program, const std::string& wire) const {
        return "POST /" + program + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\nContent-Type: application/octet-stream\r\n"
               "Transfer-Encoding: chunked\r\n\r\n" + wire;
    }

    std::string echo_;
    std::string digest_;
};

// Bytes of every value, in a pattern that does not repeat within a chunk.
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
    return bytes;
}

std::string Hex(size_t value) {
    std::ostringstream text;
    text << std::hex << value;
    return text.str();
}

// `body` as chunks of the given sizes in turn (round and round), each
// size line carrying `extension`, then the last chunk, `trailers` and the end.
std::string Chunk(const std::string& body, const std::vector<size_t>& sizes, const std::string& extension = "",
                  const std::string& trailers = "", const std::string& lineEnd = "\r\n") {
    std::string wire;
    size_t at = 0;
    for (size_t i = 0; at < body.size(); ++i) {
        const size_t size = std::min(sizes[i % sizes.size()], body.size() - at);
        wire += Hex(size) + extension + lineEnd + body.substr(at, size) + lineEnd;
        at += size;
    }
    return wire + "0" + extension + lineEnd + trailers + lineEnd;
}

TEST_F(RequestBodies, ChunkedBodiesReachTheProgramDecoded) {
    const std::string form = "a=1&b=caf%C3%A9+x";
    const std::string binary = Pattern(9000);
    struct Case {
        const char* what;
        std::string wire;
        std::string body;
        int pieces;
    } cases[] = {
        {"one chunk", Chunk(form, {100}), form, 1},
        {"chunks of every small size, extensions, trailers", Chunk(binary, {1, 2, 3, 5, 8, 13, 97, 1000}, ";n=v",
                                                                   "X-Sum: 1\r\nX-More: 2\r\n"),
         binary, 1},
        {"in pieces", Chunk(binary, {4096}), binary, 9},
        {"line feeds alone in the framing", Chunk(binary, {3000}, "", "", "\n"), binary, 3},
        {"empty", Chunk("", {1}), "", 1},
    };
    for (const Case& c : cases) {
        const std::string got = Ask(ChunkedPost(echo_, c.wire), c.pieces, c.pieces > 1 ? 20 : 0);
        EXPECT_EQ(got.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << c.what << ": " << got.substr(0, 100);
        EXPECT_TRUE(qvtest::AnswerBody(got) == Echo(c.body, "application/octet-stream") + "\r\n\r\n") << c.what;
    }
    // A body longer than the server keeps in memory, in chunks as a streaming client sends them.
    const std::string large = Pattern(700 * 1024);
    const std::string got = Ask(ChunkedPost(digest_, Chunk(large, {16384, 65536, 1})), 5, 10);
    EXPECT_EQ(qvtest::AnswerBody(got), Digest(large) + "\r\n\r\n") << got.substr(0, 200);
}

// The limit holds for the decoded body: one chunk over it is refused at its
// size line, without waiting for its data, and no program starts.
TEST_F(RequestBodies, ChunkedBodyOverTheLimitGets413) {
    const std::string sizes[] = {"100001\r\n", "80000\r\n" + std::string(0x80000, 'x') + "\r\n80001\r\n"};
    for (const std::string& wire : sizes) {
        std::string answer;
        qvtest::PumpWhile([&] {
            answer = qvtest::Talk(qvtest::ServerAddress(), port_, ChunkedPost(echo_, wire), 20000).received;
        });
        EXPECT_EQ(answer.rfind("HTTP/1.0 413 Content Too Large\r\n", 0), 0u) << answer.substr(0, 100);
        EXPECT_EQ(answer.find("LENGTH="), std::string::npos);
    }
}

// Where a server and a proxy in front of it could see different ends of the
// request, the request gets 400 and the close, whatever it was for.
TEST_F(RequestBodies, FramingInDoubtGets400AndTheClose) {
    const std::string chunkedHello = "5\r\nhello\r\n0\r\n\r\n";
    struct Case {
        const char* what;
        std::string request;
    } cases[] = {
        {"length and chunked", "POST /" + echo_ + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\nContent-Length: 5\r\n"
                               "Transfer-Encoding: chunked\r\n\r\n" + chunkedHello},
        {"length and chunked to a file", "GET /page.htm HTTP/1.1\r\nHost: h\r\nConnection: close\r\nTransfer-Encoding: chunked\r\n"
                                         "Content-Length: 17\r\n\r\n" + chunkedHello},
        {"lengths that differ", "POST /" + echo_ + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\nContent-Length: 5\r\n"
                                "Content-Length: 50\r\n\r\nhello"},
        {"a length list that differs", "POST /" + echo_ + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\nContent-Length: 5, 6\r\n\r\nhello"},
        {"another coding", "POST /" + echo_ + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\nTransfer-Encoding: gzip, chunked\r\n\r\n" +
                               chunkedHello},
        {"chunked before HTTP/1.1", "POST /" + echo_ + " HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n" + chunkedHello},
        {"a chunk size that is not hex", ChunkedPost(echo_, "5g\r\nhello\r\n0\r\n\r\n")},
        {"a chunk size past 64 bits", ChunkedPost(echo_, "10000000000000005\r\nhello\r\n0\r\n\r\n")},
        {"no line end after the data", ChunkedPost(echo_, "5\r\nhelloXY\r\n0\r\n\r\n")},
        {"a CR alone in the framing", ChunkedPost(echo_, "5\rhello\r\n0\r\n\r\n")},
    };
    for (const Case& c : cases) {
        qvtest::Exchange got;
        qvtest::PumpWhile([&] { got = qvtest::Talk(qvtest::ServerAddress(), port_, c.request, 20000); });
        EXPECT_EQ(got.received.rfind("HTTP/1.0 400 Bad Request\r\n", 0), 0u) << c.what << ": "
                                                                              << got.received.substr(0, 100);
        EXPECT_NE(qvtest::AnswerBody(got.received).find("400 Bad Request"), std::string::npos) << c.what;
        // No program ran, and no file went out.
        EXPECT_EQ(got.received.find("LENGTH="), std::string::npos) << c.what;
        EXPECT_EQ(got.received.find(kPage), std::string::npos) << c.what;
        EXPECT_TRUE(got.closedByServer) << c.what;
    }
    EXPECT_EQ(Get("/page.htm"), PageAnswer());
}

// A client that sends "Expect: 100-continue" waits for the word before its
// body: it comes at once after the header when the body will be read, and
// once; otherwise the final answer comes at once. Whether a program can start
// is learnt only when its turn comes, so a missing one is answered after the body.
TEST_F(RequestBodies, ContinueComesBeforeTheBodyWhenTheBodyWillBeRead) {
    const std::string continueLine = "HTTP/1.1 100 Continue\r\n\r\n";
    const std::string body = Pattern(5000);
    const std::string expect = "Host: h\r\nConnection: close\r\nExpect: 100-continue\r\nContent-Type: x/y\r\n";
    struct Case {
        const char* what;
        std::string header;
        std::string body;  // sent once the word has come
        bool continues;
        std::string status;
        bool echoed;  // the program wrote the body back
    } cases[] = {
        {"by length", "POST /" + echo_ + " HTTP/1.1\r\n" + expect + "Content-Length: 5000\r\n\r\n", body, true,
         "HTTP/1.0 200 OK\r\n", true},
        {"chunked", "POST /" + echo_ + " HTTP/1.1\r\n" + expect + "Transfer-Encoding: chunked\r\n\r\n",
         Chunk(body, {1000}), true, "HTTP/1.0 200 OK\r\n", true},
        {"a missing program", "POST /missing" + echo_ + " HTTP/1.1\r\n" + expect + "Content-Length: 5000\r\n\r\n",
         body, true, "HTTP/1.0 500 Internal Server Error\r\n", false},
        {"over the limit", "POST /" + echo_ + " HTTP/1.1\r\n" + expect + "Content-Length: 2000000\r\n\r\n", "", false,
         "HTTP/1.0 413 Content Too Large\r\n", false},
        {"a body nobody reads", "POST /page.htm HTTP/1.1\r\n" + expect + "Content-Length: 5000\r\n\r\n", "", false,
         "HTTP/1.0 200 OK\r\n", false},
    };
    for (const Case& c : cases) {
        std::string first, rest;
        qvtest::PumpWhile([&] {
            qvtest::StreamClient client(qvtest::ServerAddress(), port_);
            ASSERT_TRUE(client.connected());
            client.Send(c.header);
            // The interim answer, or the final one at once; never a wait for the body.
            while (first.size() < continueLine.size() && !client.closedByServer()) {
                const std::string piece = client.Read(continueLine.size() - first.size(), 20000);
                if (piece.empty()) break;
                first += piece;
            }
            if (c.continues) client.Send(c.body);
            while (!client.closedByServer()) {
                const std::string piece = client.Read(65536, 20000);
                if (piece.empty()) break;
                rest += piece;
            }
        });
        const std::string all = first + rest;
        if (c.continues) {
            EXPECT_EQ(first, continueLine) << c.what;
            // Once, then the answer, made from all of the body.
            EXPECT_EQ(rest.rfind(c.status, 0), 0u) << c.what << ": " << rest.substr(0, 100);
            if (c.echoed) {
                EXPECT_TRUE(qvtest::AnswerBody(rest) == Echo(body, "x/y") + "\r\n\r\n") << c.what;
            }
        } else {
            EXPECT_EQ(all.rfind(c.status, 0), 0u) << c.what << ": " << all.substr(0, 100);
            EXPECT_EQ(all.find("100 Continue"), std::string::npos) << c.what;
        }
    }
}

}  // namespace
