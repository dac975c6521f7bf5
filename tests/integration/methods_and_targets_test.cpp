// Methods and targets as clients send them: OPTIONS answered with the methods
// allowed, methods the server does not implement answered 405 or 501 once
// the host has had them as it always had, absolute URLs served as their path,
// HTTP/1.1 without Host refused, and lines ended by an LF alone read as lines.
#include <string>
#include <vector>

#include "server_fixture.h"

namespace {

using qvtest::api;
using qvtest::Head;

const std::string kAllow = "Allow: GET, HEAD, POST, OPTIONS\r\n";

// The header block of `status` with `line` as its last line.
std::string HeadWith(const std::string& status, const std::string& type, size_t length, const std::string& line) {
    const std::string head = Head(status, type, length);
    return head.substr(0, head.size() - 2) + line + "\r\n";
}

// How the host answers, and what it saw.
struct HostRecord {
    int calls = 0;
    std::string request;  // as WEBSRVGETREQUEST gave it
    std::string posted;   // posted before returning, when not empty
    int32_t result = 0;
};
HostRecord host;

void ActAsHost(int32_t slot) {
    host.calls += 1;
    host.request = qvtest::TakeString(api().WEBSRVGETREQUEST(slot));
    if (!host.posted.empty()) api().PostResponse(slot, host.posted.c_str());
}

int32_t QV_CALL Callback(int32_t slot, const char*, int32_t, const char*, int32_t) {
    ActAsHost(slot);
    return host.result;
}

intptr_t WindowProc(uintptr_t, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message != QV_REQUEST_MESSAGE) return 0;
    ActAsHost(static_cast<int32_t>(wParam));
    return host.result;
}

class MethodsAndTargets : public qvtest::PageServerFixture {
protected:
    void SetUp() override {
        PageServerFixture::SetUp();
        host = HostRecord{};
    }
};

// OPTIONS is answered for any target with the methods the server allows.
TEST_F(MethodsAndTargets, OptionsNamesTheMethodsAllowed) {
    const std::string answer = HeadWith("HTTP/1.0 200 OK", "text/html", 0, kAllow) + "\r\n";
    const std::vector<std::string> requests = {
        "OPTIONS * HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n",
        "OPTIONS /page.htm HTTP/1.0\r\n\r\n",
        "OPTIONS /missing.htm HTTP/1.0\r\n\r\n",
        "OPTIONS http://h:1/page.htm HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n",
    };
    for (const std::string& request : requests) EXPECT_EQ(Ask(request), answer) << request;
}

// A method the server does not implement: 405 with the methods allowed where
// the file exists, 501 where it does not; the file is never sent.
TEST_F(MethodsAndTargets, UnimplementedMethodsGet405Or501) {
    struct Case {
        const char* line;
        const char* status;
    } cases[] = {
        {"PUT /page.htm HTTP/1.1", "405 Method Not Allowed"},
        {"DELETE /page.htm HTTP/1.1", "405 Method Not Allowed"},
        {"PATCH http://h/page.htm HTTP/1.1", "405 Method Not Allowed"},
        {"put /page.htm HTTP/1.0", "405 Method Not Allowed"},
        {"PUT /missing.htm HTTP/1.1", "501 Not Implemented"},
        {"DELETE /missing.htm HTTP/1.1", "501 Not Implemented"},
        {"MKCOL /new/ HTTP/1.1", "501 Not Implemented"},
    };
    for (const Case& c : cases) {
        const std::string got = Ask(std::string(c.line) + "\r\nHost: h\r\nConnection: close\r\nContent-Length: 3\r\n\r\nabc");
        const std::string page = qvtest::AnswerBody(got);
        const bool allowed = std::string(c.status).rfind("405", 0) == 0;
        const std::string expectedHead = allowed ? HeadWith("HTTP/1.0 " + std::string(c.status), "text/html",
                                                            page.size() - 2, kAllow)
                                                 : Head("HTTP/1.0 " + std::string(c.status), "text/html", page.size() - 2);
        EXPECT_EQ(got.substr(0, got.size() - page.size()), expectedHead) << c.line;
        EXPECT_NE(page.find(c.status), std::string::npos) << c.line;
        EXPECT_EQ(page.substr(page.size() - 2), "\r\n") << c.line;
        EXPECT_EQ(got.find(kPage), std::string::npos) << c.line;
    }
}

// Every method reaches the host first, with the request text it always had
// (PUT its path, other methods none): a host that answers keeps answering, and
// only what it declines gets the server's own answer.
TEST_F(MethodsAndTargets, HostHasEveryMethodFirst) {
    struct Case {
        const char* line;
        const char* request;  // what the host sees
        std::string declined;  // the start of the answer when the host declines
    } cases[] = {
        {"PUT /page.htm HTTP/1.0", "page.htm", "HTTP/1.0 405 Method Not Allowed\r\n"},
        {"PUT /missing.htm HTTP/1.0", "missing.htm", "HTTP/1.0 501 Not Implemented\r\n"},
        {"DELETE /page.htm HTTP/1.0", "", "HTTP/1.0 405 Method Not Allowed\r\n"},
        {"OPTIONS /page.htm HTTP/1.0", "", "HTTP/1.0 200 OK\r\n"},
        {"GET /page.htm HTTP/1.0", "page.htm", PageAnswer()},
    };
    const uintptr_t window = qvtest::CreateHostWindow(&WindowProc);
    ASSERT_NE(window, 0u);
    for (bool byWindow : {false, true}) {
        if (byWindow) {
            api().StopServerCallback();
            ASSERT_EQ(api().WEBSRVSETWINDOW((QvWindow)(window)), 0);
        } else {
            ASSERT_EQ(api().SetServerCallback(&Callback), 0);
        }
        for (const Case& c : cases) {
            const std::string request = std::string(c.line) + "\r\n\r\n";
            host = HostRecord{};
            const std::string declined = Ask(request);
            EXPECT_EQ(host.calls, 1) << c.line;
            EXPECT_EQ(host.request, c.request) << c.line;
            EXPECT_EQ(declined.rfind(c.declined, 0), 0u) << c.line << ": " << declined.substr(0, 100);
            host = HostRecord{};
            host.posted = "taken by the host";
            host.result = 1;
            EXPECT_EQ(Ask(request), Head("HTTP/1.1 200 OK", "text/html", 17) + "taken by the host\r\n") << c.line;
            EXPECT_EQ(host.request, c.request) << c.line;
        }
    }
    api().WEBSRVCLEARWINDOW();
    qvtest::DestroyHostWindow(window);
}

// An absolute URL is served as its path, and the host sees that path as for
// the same request in origin form.
TEST_F(MethodsAndTargets, AbsoluteUrlsAreServedAsTheirPath) {
    const std::string authority = "http://" + qvtest::ServerAddress() + ":" + std::to_string(port_);
    EXPECT_EQ(Ask("GET " + authority + "/page.htm HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n"), PageAnswer());
    EXPECT_EQ(Ask("GET HTTP://other.test/page.htm HTTP/1.0\r\n\r\n"), PageAnswer());
    const std::string head = PageAnswer().substr(0, PageAnswer().find("\r\n\r\n") + 4);
    EXPECT_EQ(Ask("HEAD " + authority + "/page.htm HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n"), head);

    ASSERT_EQ(api().SetServerCallback(&Callback), 0);
    for (const char* target : {"/page.htm", "/dir/run?x=1", "/"}) {
        Ask(std::string("GET ") + target + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n");
        const std::string origin = host.request;
        Ask("GET " + authority + target + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n");
        EXPECT_EQ(host.request, origin) << target;
    }
}

// HTTP/1.1 requires a Host line: without one the request gets 400 and never
// reaches the host; earlier versions need none.
TEST_F(MethodsAndTargets, Http11WithoutHostGets400) {
    ASSERT_EQ(api().SetServerCallback(&Callback), 0);
    const std::string refused = Ask("GET /page.htm HTTP/1.1\r\nAccept: */*\r\n\r\n");
    EXPECT_EQ(refused.rfind("HTTP/1.0 400 Bad Request\r\n", 0), 0u) << refused.substr(0, 100);
    EXPECT_EQ(host.calls, 0);
    EXPECT_EQ(Ask("GET /page.htm HTTP/1.1\r\nHost:\r\nConnection: close\r\n\r\n"), PageAnswer());
    EXPECT_EQ(Ask("GET /page.htm HTTP/1.0\r\n\r\n"), PageAnswer());
    EXPECT_EQ(host.calls, 2);
}

// Lines ended by an LF alone are lines: the request is answered at once, as
// with CR LF, wherever the LF stands (the request line, a header line, the
// empty line).
TEST_F(MethodsAndTargets, LineFeedsAloneEndLines) {
    const std::vector<std::string> requests = {
        "GET /page.htm HTTP/1.0\n\n",
        "GET /page.htm HTTP/1.1\nHost: h\nConnection: close\nAccept: */*\n\n",
        "GET /page.htm HTTP/1.1\r\nHost: h\nConnection: close\n\r\n",
        "GET /page.htm HTTP/1.1\nHost: h\r\nConnection: close\r\n\n",
    };
    for (const std::string& request : requests) {
        EXPECT_EQ(Ask(request), PageAnswer()) << request;
        // In pieces the same.
        EXPECT_EQ(Ask(request, 4, 20), PageAnswer()) << request;
    }
}

}  // namespace
