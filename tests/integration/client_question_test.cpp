// PostQuestion through the loaded library against a recording server on
// loopback: the URL it composes, its credentials, and the NUL bytes it restores.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library.h"
#include "recording_server.h"

namespace {

using qvtest::RecordedRequest;
using qvtest::RecordingServer;
using qvtest::RecordingServerAnswer;

const std::string kPlaceholder = "REPLACING NULL WITH THIS STRING";

std::string Ask(const std::string& host, int32_t port, const char* path, const char* document,
                const char* query, const char* user = "", const char* password = "") {
    const qvtest::Api& a = qvtest::api();
    if (a.PostQuestion == nullptr) return "<PostQuestion missing>";
    return qvtest::TakeString(a.PostQuestion(host.c_str(), port, path, document, query, user, password));
}

RecordingServerAnswer Answering(std::string body, bool challenge = false) {
    RecordingServerAnswer answer;
    answer.body = std::move(body);
    answer.challengeWithoutAuthorization = challenge;
    return answer;
}

TEST(PostQuestion, AsksForTheComposedUrl) {
    struct Case {
        const char* path;
        const char* document;
        const char* query;
        const char* target;
    };
    const std::vector<Case> cases = {
        {"", "", "", "/default.html"},
        {"a/b", "q.htm", "x=1", "/a/b/q.htm?x=1"},
        {"", "q.htm", "x=1", "/q.htm?x=1"},
        {"cgi", "", "name=value&n=2", "/cgi/default.html?name=value&n=2"},
    };
    for (const Case& c : cases) {
        RecordingServer server(Answering("answer"));
        ASSERT_TRUE(server.Listening());
        EXPECT_EQ(Ask("127.0.0.1", server.Port(), c.path, c.document, c.query), "answer") << c.target;
        const std::vector<RecordedRequest> requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u) << c.target;
        EXPECT_EQ(requests[0].target, c.target);
        EXPECT_EQ(requests[0].userAgent, "Fennomax DLL");
    }
}

TEST(PostQuestion, SendsUserAndPassword) {
    RecordingServer server(Answering("answer", true));
    ASSERT_TRUE(server.Listening());
    EXPECT_EQ(Ask("127.0.0.1", server.Port(), "", "q.htm", "x=1", "u", "p"), "answer");
    const std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().authorization, "Basic dTpw");  // u:p
    EXPECT_EQ(requests.back().target, "/q.htm?x=1");
}

TEST(PostQuestion, RestoresEncodedNulBytesAndKeepsItsOwn) {
    struct Case {
        std::string sent;
        std::string received;
    };
    const std::string nul(1, '\0');
    const std::vector<Case> cases = {
        {"A" + kPlaceholder + "B", "A" + nul + "B"},
        {kPlaceholder + std::string(300, 'm') + kPlaceholder, nul + std::string(300, 'm') + nul},
        {"own" + nul + "nul" + kPlaceholder, "own" + nul + "nul" + nul},
        {"plain", "plain"},
    };
    for (const Case& c : cases) {
        RecordingServer server(Answering(c.sent));
        ASSERT_TRUE(server.Listening());
        EXPECT_EQ(Ask("127.0.0.1", server.Port(), "", "", ""), c.received);
    }
}

TEST(PostQuestion, GivesEmptyTextWhenTheServerCannotBeReached) {
    const uint16_t port = qvtest::RefusingPort();
    ASSERT_NE(port, 0);
    EXPECT_EQ(Ask("127.0.0.1", port, "", "", ""), "");
}

TEST(PostQuestion, CutsALongQuestionUrl) {
    RecordingServer server(Answering("cut"));
    ASSERT_TRUE(server.Listening());
    const std::string query(2000, 'q');
    EXPECT_EQ(Ask("127.0.0.1", server.Port(), "", "d", query.c_str()), "cut");
    const std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string prefix = "http://127.0.0.1:" + std::to_string(server.Port());
    EXPECT_EQ(requests[0].target, ("/d?" + query).substr(0, 1023 - prefix.size()));
}

TEST(PostQuestion, NullPointersAreEmptyText) {
    const qvtest::Api& a = qvtest::api();
    ASSERT_NE(a.PostQuestion, nullptr);
    // No host at all: nothing can be reached.
    EXPECT_EQ(qvtest::TakeString(a.PostQuestion(nullptr, 1, nullptr, nullptr, nullptr, nullptr, nullptr)), "");
    RecordingServer server(Answering("answer"));
    ASSERT_TRUE(server.Listening());
    EXPECT_EQ(qvtest::TakeString(a.PostQuestion("127.0.0.1", server.Port(), nullptr, nullptr, nullptr, nullptr,
                                                nullptr)),
              "answer");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].target, "/default.html");
}

}  // namespace
