// The client calls against the library's own server in the same process: a
// host callback posts each answer, the test thread pumps the server's messages
// while the client call runs on another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "host.h"
#include "library.h"
#include "raw_client.h"
#include "test_ports.h"

namespace {

const std::string kPlaceholder = "REPLACING NULL WITH THIS STRING";

std::atomic<int> g_nextPort{qvtest::TestPort(700)};

// What the callback answers and what it saw; touched only on the pumping
// thread while a client call is running.
std::string g_answer;
std::vector<std::string> g_requests;

int32_t QV_CALL PostTheAnswer(int32_t slot, const char*, int32_t, const char*, int32_t) {
    const qvtest::Api& a = qvtest::api();
    g_requests.push_back(qvtest::TakeString(a.WEBSRVGETREQUEST(slot)));
    QvBSTR answer = qvtest::MakeString(g_answer);
    a.PostResponseA(slot, &answer);
    // The posting may have replaced the variable's text with the encoded one.
    a.SysFreeString(answer);
    return 1;
}

class ClientAgainstOwnServer : public ::testing::Test {
protected:
    void SetUp() override {
        const qvtest::Api& a = qvtest::api();
        ASSERT_NE(a.ServerStart, nullptr);
        ASSERT_NE(a.WEBResponse, nullptr);
        ASSERT_NE(a.PostQuestion, nullptr);
        a.WEBSRVCLEARWINDOW();
        ASSERT_EQ(a.SetServerCallback(&PostTheAnswer), 0);
        port_ = g_nextPort++;
        ASSERT_EQ(a.ServerStart(port_), 0);
        address_ = qvtest::ServerAddress();
        g_requests.clear();
    }

    void TearDown() override {
        qvtest::api().ServerStop();
        qvtest::api().StopServerCallback();
    }

    std::string Fetch(const std::string& target) {
        const std::string url = "http://" + address_ + ":" + std::to_string(port_) + target;
        std::string body;
        qvtest::PumpWhile([&] { body = qvtest::TakeString(qvtest::api().WEBResponse(url.c_str(), "", "")); });
        return body;
    }

    std::string Ask(const char* path, const char* document, const char* query, const char* user = "",
                    const char* password = "") {
        std::string answer;
        qvtest::PumpWhile([&] {
            answer = qvtest::TakeString(
                qvtest::api().PostQuestion(address_.c_str(), port_, path, document, query, user, password));
        });
        return answer;
    }

    int port_ = 0;
    std::string address_;
};

std::string Printable(size_t size) {
    std::string bytes(size, ' ');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

std::string WithNulBytes(size_t size) {
    std::string bytes = Printable(size);
    for (size_t i = 0; i < size; i += 50) bytes[i] = '\0';
    bytes[size - 1] = '\0';
    return bytes;
}

TEST_F(ClientAgainstOwnServer, PostedAnswersComeBackWhole) {
    for (size_t size : {size_t{100}, size_t{256}, size_t{600}}) {
        g_answer = Printable(size);
        EXPECT_EQ(Fetch("/page.htm"), g_answer) << size << " bytes";
        g_answer = WithNulBytes(size);
        const std::string answer = Ask("", "page.htm", "");
        EXPECT_EQ(answer.size(), size);
        EXPECT_EQ(answer, g_answer) << size << " bytes with NUL bytes";
    }
}

TEST_F(ClientAgainstOwnServer, NulBytesTravelAsThePlaceholderAndAreRestored) {
    g_answer = std::string("A\0B\0\0C", 6);
    // On the wire each NUL byte is the placeholder; the question client turns it back.
    EXPECT_EQ(Fetch("/q.htm"), "A" + kPlaceholder + "B" + kPlaceholder + kPlaceholder + "C");
    EXPECT_EQ(Ask("", "q.htm", ""), g_answer);
}

TEST_F(ClientAgainstOwnServer, TheHostSeesTheComposedQuestion) {
    struct Case {
        const char* path;
        const char* document;
        const char* query;
        const char* user;
        const char* password;
        const char* request;  // the request text the host reads
    };
    const std::vector<Case> cases = {
        {"", "", "", "", "", "default.html"},
        {"a/b", "q.htm", "x=1", "", "", "a\\b\\q.htm?x=1"},
        {"", "q.htm", "x=1", "u", "p", "q.htm?x=1"},
    };
    g_answer = "answered";
    for (const Case& c : cases) {
        g_requests.clear();
        EXPECT_EQ(Ask(c.path, c.document, c.query, c.user, c.password), "answered") << c.request;
        ASSERT_EQ(g_requests.size(), 1u) << c.request;
        EXPECT_EQ(g_requests[0], c.request);
    }
}

}  // namespace
