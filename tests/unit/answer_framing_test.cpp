// Answers made to end exactly at their length on a connection that stays
// open, and which requests ask to keep theirs.
#include <gtest/gtest.h>

#include <string>

#include "server/answer_framing.h"

namespace {

using qv::server::Answer;
using qv::server::Request;
using qv::server::RequestReader;

Request RequestOf(const std::string& bytes) {
    RequestReader reader;
    reader.Feed(bytes);
    return reader.request();
}

TEST(AnswerFraming, WhoAsksToKeepTheConnection) {
    struct Case {
        std::string request;
        bool keep;
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: h\r\n\r\n", true},
        {"GET / HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", false},
        {"GET / HTTP/1.1\r\nHost: h\r\nConnection: TE, Close\r\n\r\n", false},
        {"GET / HTTP/1.0\r\n\r\n", false},
        {"GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true},
        {"GET / HTTP/1.0\r\nConnection: keep-alive-not\r\n\r\n", false},
        {"GET /\r\n\r\n", false},
    };
    for (const Case& c : cases) EXPECT_EQ(qv::server::AsksToKeepConnection(RequestOf(c.request)), c.keep) << c.request;
}

TEST(AnswerFraming, AKeptAnswerEndsAtItsLength) {
    const std::string http11 = "GET / HTTP/1.1\r\nHost: h\r\n\r\n";
    const std::string http10 = "GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n";
    const std::string head11 = "HEAD / HTTP/1.1\r\nHost: h\r\n\r\n";
    struct Case {
        const char* name;
        std::string request;
        std::string head, tail;  // the answer's bytes, as the routes compose them
        bool kept;
        std::string wire;  // what goes out when kept
    } cases[] = {
        {"closing bytes cut, HTTP/1.1 said", http11, "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\n", "abc\r\n\r\n", true,
         "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"},
        {"to HTTP/1.0 the version stays, keep-alive said", http10,
         "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\n", "abc\r\n", true,
         "HTTP/1.0 200 OK\r\nContent-Length: 3\r\nConnection: keep-alive\r\n\r\nabc"},
        {"a host's own HTTP/1.1 answer", http11, "HTTP/1.1 200 OK\r\ncontent-length: 2\r\n\r\nhi\r\n", "", true,
         "HTTP/1.1 200 OK\r\ncontent-length: 2\r\n\r\nhi"},
        {"HEAD: nothing after the header", head11, "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\n", "", true,
         "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n"},
        {"304 without a body", http11, "HTTP/1.0 304 Not Modified\r\nContent-Length: 9\r\n\r\n", "", true,
         "HTTP/1.1 304 Not Modified\r\nContent-Length: 9\r\n\r\n"},
        {"204 without a length", http11, "HTTP/1.0 204 No Content\r\n\r\n", "", true,
         "HTTP/1.1 204 No Content\r\n\r\n"},
        {"no length", http11, "HTTP/1.0 200 OK\r\n\r\n", "abc", false, ""},
        {"a length beyond the bytes there are", http11, "HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\n", "abc", false, ""},
        {"two lengths", http11, "HTTP/1.0 200 OK\r\nContent-Length: 3\r\nContent-Length: 3\r\n\r\n", "abc", false, ""},
        {"a transfer coding", http11, "HTTP/1.0 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n", "abc",
         false, ""},
        {"a Connection line of its own", http11, "HTTP/1.0 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\n",
         "abc", false, ""},
        {"no whole header block", http11, "HTTP/1.0 200 OK\r\nContent-Length: 0", "\r\n", false, ""},
    };
    for (const Case& c : cases) {
        Answer answer(c.head, 0, 0, 0, c.tail);
        const bool kept = qv::server::FrameForKeptConnection(answer, RequestOf(c.request));
        EXPECT_EQ(kept, c.kept) << c.name;
        const std::string wire = answer.head() + answer.tail();
        EXPECT_EQ(wire, c.kept ? c.wire : c.head + c.tail) << c.name;
    }
}

// Only an HTTP/1.1 status line needs the word when the connection closes anyway.
TEST(AnswerFraming, AClosingAnswerSaysSoWhereItsVersionWouldKeep) {
    Answer posted("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n", 0, 0, 0, "hi\r\n");
    qv::server::MarkClosing(posted);
    EXPECT_EQ(posted.head(), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\n");
    Answer page("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\n", 0, 0, 0, "hi\r\n");
    qv::server::MarkClosing(page);
    EXPECT_EQ(page.head(), "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\n");
}

}  // namespace
