// Header lines through a real connection: a header line whose name starts
// like a method leaves the request line alone, and a CR that its LF does not
// follow gets 400 instead of starting a new line.
#include <string>

#include "server_fixture.h"

namespace {

using qvtest::Head;

class HeaderLinesOnTheWire : public qvtest::ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        WriteFile(root_ / "docs" / "index.htm", kIndex);
        WriteFile(root_ / "docs" / "other.htm", kOther);
    }

    static constexpr const char* kIndex = "<p>index</p>";
    static constexpr const char* kOther = "<p>the other page</p>";
};

TEST_F(HeaderLinesOnTheWire, NamesLikeMethodsStillGetTheFile) {
    const std::string answer = Head("HTTP/1.0 200 OK", "text/html", std::string(kIndex).size()) + kIndex + "\r\n\r\n";
    const char* const requests[] = {
        // What an API test tool sends.
        "GET /index.htm HTTP/1.1\r\nUser-Agent: PostmanRuntime/7.36.0\r\nAccept: */*\r\n"
        "Postman-Token: 4f6e2a8c-1d3b-4c5e-9f7a-0b2d4e6f8a1c\r\nHost: 127.0.0.1\r\n"
        "Accept-Encoding: gzip, deflate, br\r\nConnection: close\r\n\r\n",
        "GET /index.htm HTTP/1.0\r\nHeaders: x\r\n\r\n",
        "GET /index.htm HTTP/1.0\r\nPut-Here: /other.htm HTTP/1.0\r\n\r\n",
        "GET /index.htm HTTP/1.0\r\nGET /other.htm HTTP/1.0\r\n\r\n",
    };
    for (const char* request : requests) {
        EXPECT_EQ(Ask(request), answer) << request;
        // In pieces the same.
        EXPECT_EQ(Ask(request, 3, 20), answer) << request;
    }
}

TEST_F(HeaderLinesOnTheWire, BareCarriageReturnGets400) {
    const std::string refused = "HTTP/1.0 400 Bad Request\r\n";
    const char* const requests[] = {
        "GET /index.htm HTTP/1.0\r\nX-A: a\rGET /other.htm HTTP/1.0\r\n\r\n",
        "GET /index.htm HTTP/1.0\rHost: h\r\n\r\n",
    };
    for (const char* request : requests) {
        const std::string got = Ask(request);
        EXPECT_EQ(got.rfind(refused, 0), 0u) << request << ": " << got.substr(0, 80);
        const std::string page = qvtest::AnswerBody(got);
        EXPECT_NE(page.find("400 Bad Request"), std::string::npos) << request;
        EXPECT_EQ(got.find("page</p>"), std::string::npos) << request;
        EXPECT_EQ(got.find("index</p>"), std::string::npos) << request;
    }
    // The server answers the next client as before.
    EXPECT_EQ(Get("/other.htm"), Head("HTTP/1.0 200 OK", "text/html", std::string(kOther).size()) + kOther + "\r\n\r\n");
}

}  // namespace
