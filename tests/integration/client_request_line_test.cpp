// The request line the client sends for a URL, and what it returns for an
// answer without a status line: one table for both builds, so the Linux
// fetch and the Windows Internet client services are held to the same bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host.h"
#include "library.h"
#include "recording_server.h"

namespace {

using qvtest::RecordedRequest;
using qvtest::RecordingServer;
using qvtest::RecordingServerAnswer;

// Bytes a reader can see in a failure message: "\xE9" for a byte outside printable ASCII.
std::string Visible(const std::string& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string shown;
    for (char c : bytes) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 32 && u < 127) {
            shown.push_back(c);
        } else {
            shown += std::string("\\x") + kHex[u >> 4] + kHex[u & 15];
        }
    }
    return shown;
}

RecordingServerAnswer Answering(std::string body) {
    RecordingServerAnswer answer;
    answer.body = std::move(body);
    return answer;
}

struct TargetCase {
    const char* asked;     // what follows "http://127.0.0.1:PORT" in the URL
    const char* expected;  // the request line's target; null: no request is sent, empty text comes back
};

const std::vector<TargetCase> kTargetCases = {
    {"/plain.htm?a=1&b=2", "/plain.htm?a=1&b=2"},
    {"", "/"},
    {"?x=1", "/?x=1"},
    // Spaces are escaped, wherever they are.
    {"/q.htm?a b", "/q.htm?a%20b"},
    {"/a b/c d.htm?x y z", "/a%20b/c%20d.htm?x%20y%20z"},
    // Bytes above 127 go as they are, in the path and in the query.
    {"/caf\xE9.htm", "/caf\xE9.htm"},
    {"/q.htm?n=\xE9\xFF", "/q.htm?n=\xE9\xFF"},
    // Escapes already in the URL stay as they were written.
    {"/%41%e9.htm?%20", "/%41%e9.htm?%20"},
    // Dot segments of the path.
    {"/a/../b.htm", "/b.htm"},
    {"/a/./b.htm", "/a/b.htm"},
    {"/a/b/..", "/a/"},
    // Characters some clients escape go as they are.
    {"/q.htm?\"<>{}|^`", "/q.htm?\"<>{}|^`"},
    {"/a\"b<c>.htm", "/a\"b<c>.htm"},
    // A '#' goes as written: a question's query may hold one.
    {"/frag.htm#part", "/frag.htm#part"},
    {"/q.htm?a#b c", "/q.htm?a#b%20c"},
};

TEST(ClientRequestLine, TargetOfTheUrlAsTheWindowsBuildSendsIt) {
    const qvtest::Api& a = qvtest::api();
    ASSERT_NE(a.WEBResponse, nullptr);
    for (const TargetCase& c : kTargetCases) {
        SCOPED_TRACE(Visible(c.asked));
        RecordingServer server(Answering("ok"));
        ASSERT_TRUE(server.Listening());
        const std::string body = qvtest::TakeString(a.WEBResponse(server.Url(c.asked).c_str(), "", ""));
        const std::vector<RecordedRequest> requests = server.Requests();
        if (c.expected == nullptr) {
            EXPECT_EQ(body, "");
            EXPECT_TRUE(requests.empty());
            continue;
        }
        EXPECT_EQ(body, "ok");
        EXPECT_EQ(requests.size(), 1u);
        if (requests.size() != 1) continue;
        EXPECT_EQ(Visible(requests[0].requestLine), Visible(std::string("GET ") + c.expected + " HTTP/1.1"));
    }
}

// Where the Windows client's resolution of dot segments is its own: it keeps
// a ".." at the top, and resolves dot segments inside a query or a fragment
// too (as Wine's client does; the native fetch leaves those alone).
struct DivergentCase {
    const char* asked;
    const char* native;
    const char* windows;
};

TEST(ClientRequestLine, DotSegmentsWhereTheBuildsDiffer) {
    const qvtest::Api& a = qvtest::api();
    ASSERT_NE(a.WEBResponse, nullptr);
    const bool native = qvtest::ProgramSuffix().empty();
    const DivergentCase cases[] = {
        {"/../up.htm", "/up.htm", "/../up.htm"},
        {"/a/..?x=/../y", "/?x=/../y", "/y"},
        {"/a/../b.htm#/../c", "/b.htm#/../c", "/c"},
    };
    for (const DivergentCase& c : cases) {
        SCOPED_TRACE(c.asked);
        RecordingServer server(Answering("ok"));
        ASSERT_TRUE(server.Listening());
        EXPECT_EQ(qvtest::TakeString(a.WEBResponse(server.Url(c.asked).c_str(), "", "")), "ok");
        const std::vector<RecordedRequest> requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].requestLine, std::string("GET ") + (native ? c.native : c.windows) + " HTTP/1.1");
    }
}

TEST(ClientRequestLine, QuestionWithASpaceInTheQuery) {
    const qvtest::Api& a = qvtest::api();
    ASSERT_NE(a.PostQuestion, nullptr);
    RecordingServer server(Answering("answer"));
    ASSERT_TRUE(server.Listening());
    EXPECT_EQ(qvtest::TakeString(a.PostQuestion("127.0.0.1", server.Port(), "", "q.htm", "a b", "", "")), "answer");
    const std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "GET /q.htm?a%20b HTTP/1.1");
}

TEST(ClientRequestLine, LineBreaksInTheUrlAddNoHeaderField) {
    const qvtest::Api& a = qvtest::api();
    ASSERT_NE(a.WEBResponse, nullptr);
    RecordingServer server(Answering("ok"));
    ASSERT_TRUE(server.Listening());
    qvtest::TakeString(a.WEBResponse(server.Url("/a.htm?x=1\r\nX-Planted: yes\r\n").c_str(), "", ""));
    for (const RecordedRequest& request : server.Requests()) {
        EXPECT_EQ(request.bytes.find("\nX-Planted"), std::string::npos) << Visible(request.bytes);
    }
}

// A server of the old kind sends its not-found page with no status line.
// The Linux build returns the bytes as they came. The Windows build returns
// what the system's Internet client makes of them: Wine's takes the first
// line for a status line it does not understand and hands on the rest.
TEST(ClientRequestLine, AnswerWithoutAStatusLine) {
    const qvtest::Api& a = qvtest::api();
    ASSERT_NE(a.WEBResponse, nullptr);
    const bool windows = qvtest::DirectorySeparator() == '\\';
    const std::string pages[] = {
        "<html>\r\n<head><title>HTTP 404 Not Found</title></head>\r\n<body>gone</body>\r\n</html>\r\n\r\n",
        "first line\r\n" + std::string(3000, 'x') + "\r\n",
    };
    for (const std::string& page : pages) {
        RecordingServerAnswer answer;
        answer.withoutStatusLine = page;
        RecordingServer server(answer);
        ASSERT_TRUE(server.Listening());
        const std::string body = qvtest::TakeString(a.WEBResponse(server.Url("/missing.htm").c_str(), "", ""));
        if (windows && body != page) {
            EXPECT_EQ(body, page.substr(page.find('\n') + 1));
        } else {
            EXPECT_EQ(body, page);
        }
    }
}

}  // namespace
