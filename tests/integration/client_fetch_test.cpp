// WEBResponse through the loaded library against a recording server on
// loopback: what reaches the server, and what comes back to the caller.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "environment.h"
#include "host.h"
#include "library.h"
#include "recording_server.h"

namespace {

using qvtest::RecordedRequest;
using qvtest::RecordingServer;
using qvtest::RecordingServerAnswer;

std::string Fetch(const std::string& url, const char* user = "", const char* password = "") {
    const qvtest::Api& a = qvtest::api();
    if (a.WEBResponse == nullptr) return "<WEBResponse missing>";
    return qvtest::TakeString(a.WEBResponse(url.c_str(), user, password));
}

// Bytes that differ from position to position, NUL bytes included.
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 37 + 11) % 256);
    return bytes;
}

RecordingServerAnswer Answering(int status, std::string body) {
    RecordingServerAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    return answer;
}

TEST(WebResponse, ReturnsTheWholeBodyWhateverItsLength) {
    // Around and across the 256-byte pieces the content is read in.
    for (size_t size : {size_t{1}, size_t{100}, size_t{255}, size_t{256}, size_t{257}, size_t{600}, size_t{5000}}) {
        RecordingServer server(Answering(200, Pattern(size)));
        ASSERT_TRUE(server.Listening());
        const std::string body = Fetch(server.Url("/piece"));
        EXPECT_EQ(body.size(), size);
        EXPECT_EQ(body, Pattern(size)) << size << " bytes";
    }
}

TEST(WebResponse, KeepsNulBytesOfTheBody) {
    std::string body = std::string("A\0B\0\0C", 6) + std::string(600, 'x');
    body[255] = '\0';
    body[256] = '\0';
    body[body.size() - 1] = '\0';
    RecordingServer server(Answering(200, body));
    ASSERT_TRUE(server.Listening());
    EXPECT_EQ(Fetch(server.Url("/nul")), body);
}

TEST(WebResponse, ReturnsTheBodyOfAnErrorStatusToo) {
    for (int status : {404, 500}) {
        const std::string page = "error page " + std::to_string(status);
        RecordingServer server(Answering(status, page));
        ASSERT_TRUE(server.Listening());
        EXPECT_EQ(Fetch(server.Url("/missing")), page);
    }
}

TEST(WebResponse, EndsTheBodyAtItsDeclaredLength) {
    // A server that sends more than it declared (a line end after the body,
    // say) before closing: the body is the declared bytes, on every build.
    for (bool announceClose : {true, false}) {
        RecordingServerAnswer answer = Answering(200, std::string(300, 'b'));
        answer.trailing = "\r\n";
        answer.announceClose = announceClose;
        RecordingServer server(answer);
        ASSERT_TRUE(server.Listening());
        EXPECT_EQ(Fetch(server.Url("/extra")), std::string(300, 'b')) << announceClose;
    }
}

TEST(WebResponse, AsksWithTheAgentNameForTheUrlsTarget) {
    RecordingServer server(Answering(200, "ok"));
    ASSERT_TRUE(server.Listening());
    ASSERT_EQ(Fetch(server.Url("/dir/page.htm?a=1&b=2")), "ok");
    const std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].userAgent, "Fennomax DLL");
    EXPECT_EQ(requests[0].requestLine.substr(0, 4), "GET ");
    EXPECT_EQ(requests[0].target, "/dir/page.htm?a=1&b=2");
    EXPECT_TRUE(requests[0].authorization.empty());
}

TEST(WebResponse, SendsTheCredentialsAsBasicAuthorization) {
    struct Case {
        const char* user;
        const char* password;
        const char* authorization;
    };
    const std::vector<Case> cases = {
        {"user", "secret", "Basic dXNlcjpzZWNyZXQ="},  // user:secret
        {"u", "p", "Basic dTpw"},                      // u:p
    };
    for (const Case& c : cases) {
        RecordingServerAnswer answer = Answering(200, "welcome");
        answer.challengeWithoutAuthorization = true;
        RecordingServer server(answer);
        ASSERT_TRUE(server.Listening());
        EXPECT_EQ(Fetch(server.Url("/private"), c.user, c.password), "welcome") << c.user;
        const std::vector<RecordedRequest> requests = server.Requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back().authorization, c.authorization);
        EXPECT_EQ(requests.back().target, "/private");
    }
}

TEST(WebResponse, WithoutAUserNameSendsNoCredentials) {
    RecordingServerAnswer answer = Answering(200, "welcome");
    answer.challengeWithoutAuthorization = true;
    RecordingServer server(answer);
    ASSERT_TRUE(server.Listening());
    // The password alone is ignored; the challenge's own page is the content.
    EXPECT_EQ(Fetch(server.Url("/private"), "", "secret"), RecordingServer::kChallengeBody);
    for (const RecordedRequest& request : server.Requests()) EXPECT_TRUE(request.authorization.empty());
}

TEST(WebResponse, ConnectsDirectlyWhateverProxyTheEnvironmentNames) {
    RecordingServer proxy(Answering(200, "from the proxy"));
    RecordingServer server(Answering(200, "direct"));
    ASSERT_TRUE(proxy.Listening());
    ASSERT_TRUE(server.Listening());
    const std::string proxyUrl = proxy.Url("");
    qvtest::ScopedEnvironmentVariable lower("http_proxy", proxyUrl);
    qvtest::ScopedEnvironmentVariable upper("HTTP_PROXY", proxyUrl);
    qvtest::ScopedEnvironmentVariable all("ALL_PROXY", proxyUrl);
    EXPECT_EQ(Fetch(server.Url("/direct")), "direct");
    EXPECT_TRUE(proxy.Requests().empty());
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(WebResponse, FollowsARedirect) {
    RecordingServerAnswer answer = Answering(200, "arrived");
    answer.redirectFrom = "/old";
    answer.redirectTo = "/new";
    RecordingServer server(answer);
    ASSERT_TRUE(server.Listening());
    EXPECT_EQ(Fetch(server.Url("/old")), "arrived");
    const std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].target, "/new");
    EXPECT_EQ(requests[1].userAgent, "Fennomax DLL");
}

TEST(WebResponse, KeepsTheCredentialsThroughARedirectOnTheSameServer) {
    RecordingServerAnswer answer = Answering(200, "arrived");
    answer.redirectFrom = "/old";
    answer.redirectTo = "/new";
    answer.challengeWithoutAuthorization = true;
    RecordingServer server(answer);
    ASSERT_TRUE(server.Listening());
    EXPECT_EQ(Fetch(server.Url("/old"), "u", "p"), "arrived");
    const std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().target, "/new");
    EXPECT_EQ(requests.back().authorization, "Basic dTpw");  // u:p
}

TEST(WebResponse, CredentialsDoNotFollowARedirectToAnotherServer) {
    if (qvtest::DirectorySeparator() == '\\') GTEST_SKIP() << "the system's Internet client decides";
    RecordingServerAnswer challenge = Answering(200, "other server");
    challenge.challengeWithoutAuthorization = true;
    RecordingServer other(challenge);
    ASSERT_TRUE(other.Listening());
    RecordingServerAnswer moved = Answering(200, "unused");
    moved.redirectFrom = "/old";
    moved.redirectTo = other.Url("/elsewhere");
    RecordingServer server(moved);
    ASSERT_TRUE(server.Listening());
    EXPECT_EQ(Fetch(server.Url("/old"), "u", "p"), RecordingServer::kChallengeBody);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].authorization, "Basic dTpw");
    const std::vector<RecordedRequest> requests = other.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/elsewhere");
    EXPECT_TRUE(requests[0].authorization.empty());
}

TEST(WebResponse, CallsFromSeveralThreadsKeepTheirOwnAnswers) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 5;
    // Loaded here, so the test thread and not a worker owns the library's window.
    ASSERT_NE(qvtest::api().WEBResponse, nullptr);
    std::vector<std::unique_ptr<RecordingServer>> servers;
    for (int i = 0; i < kThreads; ++i) {
        servers.push_back(std::make_unique<RecordingServer>(Answering(200, std::string(300 + i, char('a' + i)))));
        ASSERT_TRUE(servers.back()->Listening());
    }
    std::vector<std::vector<std::string>> bodies(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < kRounds; ++round) bodies[i].push_back(Fetch(servers[i]->Url("/t")));
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int i = 0; i < kThreads; ++i) {
        ASSERT_EQ(bodies[i].size(), size_t{kRounds});
        for (const std::string& body : bodies[i]) EXPECT_EQ(body, std::string(300 + i, char('a' + i))) << i;
    }
}

TEST(WebResponse, CutsAUrlOf2000BytesTo1023) {
    RecordingServer server(Answering(200, "cut"));
    ASSERT_TRUE(server.Listening());
    const std::string prefix = server.Url("/");
    const std::string url = prefix + std::string(2000 - prefix.size(), 'a');
    ASSERT_EQ(url.size(), 2000u);
    EXPECT_EQ(Fetch(url), "cut");
    const std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/" + std::string(1023 - prefix.size(), 'a'));
}

TEST(WebResponse, GivesEmptyTextWhenTheServerCannotBeReached) {
    const uint16_t port = qvtest::RefusingPort();
    ASSERT_NE(port, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Fetch("http://127.0.0.1:" + std::to_string(port) + "/x", "u", "p"), "");
    // A refused connection is an answer in itself, not something to wait out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

TEST(WebResponse, GivesEmptyTextForWhatCannotBeOpened) {
    for (const char* url : {"", "no url at all", "http://", "unknownscheme://127.0.0.1/x"}) {
        EXPECT_EQ(Fetch(url), "") << url;
    }
    const qvtest::Api& a = qvtest::api();
    ASSERT_NE(a.WEBResponse, nullptr);
    EXPECT_EQ(qvtest::TakeString(a.WEBResponse(nullptr, nullptr, nullptr)), "");
}

}  // namespace
