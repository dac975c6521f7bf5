// Kept connections on real sockets: several requests on one connection, sent
// one after another or all at once, each answered in order and delimited by
// its length; each is a hand-off of its own to the host, on the connection's
// slot; the one that asks to close gets today's bytes and the close.
#include <string>
#include <vector>

#include "server_fixture.h"
#include "stream_client.h"

namespace {

using qvtest::api;
using qvtest::Head;

struct HostRecord {
    std::vector<int32_t> slots;
    std::vector<std::string> requests;
};
HostRecord host;

// The host answers each request with a text naming it.
int32_t ActAsHost(int32_t slot) {
    host.slots.push_back(slot);
    const std::string request = qvtest::TakeString(api().WEBSRVGETREQUEST(slot));
    host.requests.push_back(request);
    const std::string answer = "host answer for " + request;
    api().PostResponse(slot, answer.c_str());
    return 1;
}

int32_t QV_CALL Callback(int32_t slot, const char*, int32_t, const char*, int32_t) { return ActAsHost(slot); }

intptr_t WindowProc(uintptr_t, uint32_t message, uintptr_t wParam, intptr_t) {
    return message == QV_REQUEST_MESSAGE ? ActAsHost(static_cast<int32_t>(wParam)) : 0;
}

class KeptConnections : public qvtest::PageServerFixture {
protected:
    void SetUp() override {
        PageServerFixture::SetUp();
        host = HostRecord{};
    }

    // One answer off the connection: its header block, then exactly as many
    // bytes as its Content-Length says (none after a HEAD).
    static std::string ReadAnswer(qvtest::StreamClient& client, std::string& pending, bool head = false) {
        size_t end;
        while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
            const std::string piece = client.Read(65536, 20000);
            if (piece.empty()) return std::string();
            pending += piece;
        }
        const size_t at = pending.find("Content-Length: ");
        const size_t length = head || at == std::string::npos || at > end ? 0 : std::stoul(pending.substr(at + 16));
        while (pending.size() < end + 4 + length) {
            const std::string piece = client.Read(65536, 20000);
            if (piece.empty()) break;
            pending += piece;
        }
        const std::string answer = pending.substr(0, std::min(pending.size(), end + 4 + length));
        pending.erase(0, answer.size());
        return answer;
    }

    // Everything until the server closes.
    static std::string ReadToClose(qvtest::StreamClient& client, std::string pending) {
        for (;;) {
            const std::string piece = client.Read(65536, 20000);
            if (piece.empty()) return pending;
            pending += piece;
        }
    }

    static std::string Kept(const std::string& closing) {
        // The closing bytes beyond the length go; the status line says HTTP/1.1.
        std::string kept = "HTTP/1.1" + closing.substr(8);
        const size_t end = kept.find("\r\n\r\n") + 4;
        const size_t at = kept.find("Content-Length: ");
        return kept.substr(0, end + std::stoul(kept.substr(at + 16)));
    }
};

TEST_F(KeptConnections, EachRequestIsAHandOffOfItsOwnOnTheSameSlot) {
    const auto posted = [](const std::string& request) {
        const std::string text = "host answer for " + request;
        return Head("HTTP/1.1 200 OK", "text/html", text.size()) + text;
    };
    const uintptr_t window = qvtest::CreateHostWindow(&WindowProc);
    ASSERT_NE(window, 0u);
    for (bool byWindow : {false, true}) {
        SCOPED_TRACE(byWindow ? "window" : "callback");
        if (byWindow) {
            api().StopServerCallback();
            ASSERT_EQ(api().WEBSRVSETWINDOW((QvWindow)(window)), 0);
        } else {
            ASSERT_EQ(api().SetServerCallback(&Callback), 0);
        }
        host = HostRecord{};
        std::string first, rest;
        qvtest::PumpWhile([&] {
            qvtest::StreamClient client(qvtest::ServerAddress(), port_);
            ASSERT_TRUE(client.connected());
            std::string pending;
            client.Send("GET /one.htm HTTP/1.1\r\nHost: h\r\n\r\n");
            first = ReadAnswer(client, pending);
            // Two at once, the second asking to close.
            client.Send("GET /two.htm HTTP/1.1\r\nHost: h\r\n\r\nGET /three.htm HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n");
            rest = ReadToClose(client, pending);
            EXPECT_TRUE(client.closedByServer());
        });
        EXPECT_EQ(first, posted("one.htm"));
        EXPECT_EQ(rest, posted("two.htm") + posted("three.htm") + "\r\n");
        EXPECT_EQ(host.requests, (std::vector<std::string>{"one.htm", "two.htm", "three.htm"}));
        ASSERT_EQ(host.slots.size(), 3u);
        EXPECT_EQ(host.slots[1], host.slots[0]);
        EXPECT_EQ(host.slots[2], host.slots[0]);
    }
    qvtest::DestroyHostWindow(window);
}

// Files, a HEAD, a program with its body and a file again on one connection,
// all sent at once: each answer exactly as long as it says, in order.
TEST_F(KeptConnections, PipelinedFilesAndProgramsAreAnsweredInOrder) {
    const std::string program = InstallProgram("cgi_body", "body");
    const std::string page = Ask("GET /page.htm HTTP/1.0\r\n\r\n");
    const std::string requests =
        "GET /page.htm HTTP/1.1\r\nHost: h\r\n\r\n"
        "HEAD /page.htm HTTP/1.1\r\nHost: h\r\n\r\n"
        "POST /" + program + " HTTP/1.1\r\nHost: h\r\nContent-Type: x/y\r\nContent-Length: 5\r\n\r\nhello"
        "GET /missing.htm HTTP/1.1\r\nHost: h\r\n\r\n"
        "GET /page.htm HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"
        "GET /page.htm HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n";
    std::vector<std::string> answers;
    std::string last;
    qvtest::PumpWhile([&] {
        qvtest::StreamClient client(qvtest::ServerAddress(), port_);
        ASSERT_TRUE(client.connected());
        client.Send(requests);
        std::string pending;
        for (int i = 0; i < 5; ++i) answers.push_back(ReadAnswer(client, pending, i == 1));
        last = ReadToClose(client, pending);
    });
    ASSERT_EQ(answers.size(), 5u);
    const std::string keptPage = Kept(PageAnswer());
    EXPECT_EQ(qvtest::WithoutValidators(answers[0]), keptPage);
    EXPECT_EQ(qvtest::WithoutValidators(answers[1]), keptPage.substr(0, keptPage.find("\r\n\r\n") + 4));
    const std::string echoed = "LENGTH=5\nTYPE=x/y\nBODY=hello\r\n";
    EXPECT_EQ(answers[2], Head("HTTP/1.1 200 OK", "text/html", echoed.size()) + echoed);
    EXPECT_EQ(answers[3].rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << answers[3];
    // To HTTP/1.0 the version stays and the connection's staying is said.
    const std::string page10 = PageAnswer();
    const size_t end = page10.find("\r\n\r\n");
    EXPECT_EQ(qvtest::WithoutValidators(answers[4]),
              page10.substr(0, end + 2) + "Connection: keep-alive\r\n\r\n" + kPage);
    // The client that asks to close gets today's bytes.
    EXPECT_EQ(qvtest::WithoutValidators(last), page);
}

}  // namespace
