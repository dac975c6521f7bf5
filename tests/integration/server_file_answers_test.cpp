// What browsers and download tools expect of the file route: names without
// their query and decoded, HEAD, one byte range, validators and 304, content
// types, and folders reached without their slash.
#include <filesystem>
#include <string>
#include <vector>

#include "server_fixture.h"

namespace {

using qvtest::Head;
namespace fs = std::filesystem;

const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyz";

class FileAnswers : public qvtest::ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        WriteFile(root_ / "docs" / "abc.txt", kAlphabet);
    }

    // The value of a header line of `answer`, empty when it has none.
    static std::string HeaderValue(const std::string& answer, const std::string& name) {
        const std::string head = answer.substr(0, answer.find("\r\n\r\n") + 2);
        const size_t at = head.find("\r\n" + name + ": ");
        if (at == std::string::npos) return std::string();
        const size_t begin = at + 4 + name.size();
        return head.substr(begin, head.find("\r\n", begin) - begin);
    }

    std::string GetWith(const std::string& target, const std::string& lines) {
        return AskWhole("GET " + target + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n" + lines + "\r\n");
    }
};

TEST_F(FileAnswers, QueryIsNotPartOfTheName) {
    WriteFile(root_ / "docs" / "style.css", "p{}");
    EXPECT_EQ(Get("/style.css?v=3"), Head("HTTP/1.0 200 OK", "text/css", 3) + "p{}\r\n\r\n");
    EXPECT_EQ(Get("/style.css?"), Head("HTTP/1.0 200 OK", "text/css", 3) + "p{}\r\n\r\n");
    WriteFile(root_ / "docs" / "default.htm", "home");
    EXPECT_EQ(Get("/?utm=x.y"), Head("HTTP/1.0 200 OK", "text/html", 4) + "home\r\n\r\n");
}

TEST_F(FileAnswers, NamesAreDecoded) {
    WriteFile(root_ / "docs" / "my page.htm", "spaced");
    WriteFile(root_ / "docs" / fs::u8path("caf\xC3\xA9.htm"), "accent");
    WriteFile(root_ / "docs" / "a+b.htm", "plus");
    WriteFile(root_ / "secret.htm", "outside");
    EXPECT_EQ(Get("/my%20page.htm"), Head("HTTP/1.0 200 OK", "text/html", 6) + "spaced\r\n\r\n");
    EXPECT_EQ(Get("/caf%C3%A9.htm"), Head("HTTP/1.0 200 OK", "text/html", 6) + "accent\r\n\r\n");
    EXPECT_EQ(Get("/a+b.htm"), Head("HTTP/1.0 200 OK", "text/html", 4) + "plus\r\n\r\n");
    const std::vector<std::string> refused = {
        "/%2e%2e%2fsecret.htm", "/..%2fsecret.htm", "/..%5csecret.htm", "/%2e%2e/secret.htm",
        "/%2E%2E%5Csecret.htm", "/abc.txt%00.htm", "/abc%00.txt", "/%C0%AE%C0%AE/secret.htm",
        "/caf%E9.htm", "/caf%C3.htm", "/%ED%A0%80.htm", "/my%0d%0apage.htm",
    };
    for (const std::string& target : refused) {
        const std::string got = Get(target);
        EXPECT_TRUE(qvtest::IsNotFoundAnswer(got)) << target << ": " << got.substr(0, 100);
        EXPECT_EQ(got.find("outside"), std::string::npos) << target;
    }
}

TEST_F(FileAnswers, HeadGetsTheGetHeaderWithoutTheBody) {
    for (const std::string target : {"/abc.txt", "/missing.htm", "/abc.txt?x=1"}) {
        const std::string whole = AskWhole("GET " + target + " HTTP/1.0\r\n\r\n");
        const std::string head = AskWhole("HEAD " + target + " HTTP/1.0\r\n\r\n");
        EXPECT_EQ(head, whole.substr(0, whole.find("\r\n\r\n") + 4)) << target;
    }
}

TEST_F(FileAnswers, OneByteRange) {
    const std::string size = std::to_string(kAlphabet.size());
    struct Case {
        const char* range;
        std::string status;
        std::string contentRange;
        std::string body;
    } cases[] = {
        {"bytes=0-3", "206 Partial Content", "bytes 0-3/26", "abcd"},
        {"bytes=20-", "206 Partial Content", "bytes 20-25/26", "uvwxyz"},
        {"bytes=-3", "206 Partial Content", "bytes 23-25/26", "xyz"},
        {"bytes=24-1000", "206 Partial Content", "bytes 24-25/26", "yz"},
        {"bytes=26-", "416 Range Not Satisfiable", "bytes */26", ""},
        {"bytes=-0", "416 Range Not Satisfiable", "bytes */26", ""},
        {"bytes=0-1,4-5", "200 OK", "", kAlphabet + "\r\n\r\n"},
        {"bytes=9-2", "200 OK", "", kAlphabet + "\r\n\r\n"},
        {"lines=1-2", "200 OK", "", kAlphabet + "\r\n\r\n"},
    };
    for (const Case& c : cases) {
        const std::string got = GetWith("/abc.txt", std::string("Range: ") + c.range + "\r\n");
        EXPECT_EQ(got.rfind("HTTP/1.0 " + c.status + "\r\n", 0), 0u) << c.range << ": " << got.substr(0, 60);
        EXPECT_EQ(HeaderValue(got, "Content-Range"), c.contentRange) << c.range;
        EXPECT_EQ(qvtest::AnswerBody(got), c.body) << c.range;
        const size_t length = c.status == "200 OK" ? kAlphabet.size() : c.body.size();
        EXPECT_EQ(HeaderValue(got, "Content-Length"), std::to_string(length)) << c.range;
    }
    // If-Range: the range only while the file is the one the client had.
    const std::string first = GetWith("/abc.txt", "");
    const std::string tag = HeaderValue(first, "ETag");
    const std::string date = HeaderValue(first, "Last-Modified");
    EXPECT_EQ(qvtest::AnswerBody(GetWith("/abc.txt", "Range: bytes=0-1\r\nIf-Range: " + tag + "\r\n")), "ab");
    EXPECT_EQ(qvtest::AnswerBody(GetWith("/abc.txt", "Range: bytes=0-1\r\nIf-Range: " + date + "\r\n")), "ab");
    EXPECT_EQ(qvtest::AnswerBody(GetWith("/abc.txt", "Range: bytes=0-1\r\nIf-Range: \"other\"\r\n")),
              kAlphabet + "\r\n\r\n");
    // HEAD with a range: the 206 header alone.
    const std::string head = AskWhole("HEAD /abc.txt HTTP/1.0\r\nRange: bytes=0-3\r\n\r\n");
    EXPECT_EQ(head.rfind("HTTP/1.0 206 Partial Content\r\n", 0), 0u);
    EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");
    EXPECT_EQ(qvtest::AnswerBody(head), "");
}

TEST_F(FileAnswers, ValidatorsAndNotModified) {
    const std::string first = GetWith("/abc.txt", "");
    const std::string tag = HeaderValue(first, "ETag");
    const std::string date = HeaderValue(first, "Last-Modified");
    ASSERT_FALSE(tag.empty());
    ASSERT_EQ(date.size(), 29u) << date;
    // The five lines of old keep their place; the new ones follow them.
    EXPECT_EQ(first.rfind(Head("HTTP/1.0 200 OK", "text/plain", 26).substr(0, 100), 0), 0u);
    EXPECT_EQ(first.find("\r\nETag: "), first.find("Content-Length: 26\r\n") + 18);
    struct Case {
        const char* what;
        std::string lines;
        bool notModified;
    } cases[] = {
        {"same tag", "If-None-Match: " + tag + "\r\n", true},
        {"tag among others", "If-None-Match: \"x\", " + tag + "\r\n", true},
        {"same date", "If-Modified-Since: " + date + "\r\n", true},
        {"later date", "If-Modified-Since: Fri, 01 Jan 2100 00:00:00 GMT\r\n", true},
        {"earlier date", "If-Modified-Since: Thu, 01 Jan 1970 00:00:00 GMT\r\n", false},
        {"other tag, same date", "If-None-Match: \"x\"\r\nIf-Modified-Since: " + date + "\r\n", false},
        {"unreadable date", "If-Modified-Since: soon\r\n", false},
    };
    for (const Case& c : cases) {
        const std::string got = GetWith("/abc.txt", c.lines);
        if (c.notModified) {
            EXPECT_EQ(got.rfind("HTTP/1.0 304 Not Modified\r\n", 0), 0u) << c.what << ": " << got.substr(0, 60);
            EXPECT_EQ(qvtest::AnswerBody(got), "") << c.what;
            EXPECT_EQ(HeaderValue(got, "ETag"), tag) << c.what;
        } else {
            EXPECT_EQ(got, first) << c.what;
        }
    }
    // A changed file has another tag: the old one no longer matches.
    WriteFile(root_ / "docs" / "abc.txt", kAlphabet + "!");
    const std::string changed = GetWith("/abc.txt", "If-None-Match: " + tag + "\r\n");
    EXPECT_EQ(changed.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
    EXPECT_NE(HeaderValue(changed, "ETag"), tag);
    // Answers that are not files carry no validators.
    EXPECT_EQ(HeaderValue(AskWhole("GET /missing.htm HTTP/1.0\r\n\r\n"), "ETag"), "");
}

TEST_F(FileAnswers, ContentTypesByTheLastDotAndTheHostsOwn) {
    const std::pair<const char*, const char*> files[] = {
        {"app.js", "text/javascript"}, {"mod.mjs", "text/javascript"}, {"pic.svg", "image/svg+xml"},
        {"m.wasm", "application/wasm"}, {"d.json", "application/json"}, {"doc.pdf", "application/pdf"},
        {"my.page.htm", "text/html"}, {"notes.TXT", "text/plain"}, {"x.unknown", "application/octet-stream"},
    };
    for (const auto& f : files) {
        WriteFile(root_ / "docs" / f.first, "1");
        EXPECT_EQ(HeaderValue(AskWhole(std::string("GET /") + f.first + " HTTP/1.0\r\n\r\n"), "Content-Type"), f.second)
            << f.first;
    }
    const qvtest::Api& a = qvtest::api();
    WriteFile(root_ / "docs" / "read.md", "# hi");
    EXPECT_EQ(a.WEBSRVSETTYPE("md", "text/markdown; charset=utf-8"), 0);
    EXPECT_EQ(a.WEBSRVSETTYPE("JS", "application/javascript"), 0);
    EXPECT_EQ(HeaderValue(AskWhole("GET /read.md HTTP/1.0\r\n\r\n"), "Content-Type"), "text/markdown; charset=utf-8");
    EXPECT_EQ(HeaderValue(AskWhole("GET /app.js HTTP/1.0\r\n\r\n"), "Content-Type"), "application/javascript");
    EXPECT_EQ(a.WEBSRVSETTYPE("", "text/plain"), -1);
    EXPECT_EQ(a.WEBSRVSETTYPE(nullptr, "text/plain"), -1);
    EXPECT_EQ(a.WEBSRVSETTYPE("md", nullptr), -1);
    EXPECT_EQ(a.WEBSRVSETTYPE("md", "text/plain\r\nX-Injected: 1"), -1);
    EXPECT_EQ(a.WEBSRVSETTYPE(std::string(33, 'x').c_str(), "text/plain"), -1);
    // A refused type changes nothing.
    EXPECT_EQ(HeaderValue(AskWhole("GET /read.md HTTP/1.0\r\n\r\n"), "Content-Type"), "text/markdown; charset=utf-8");
    EXPECT_EQ(a.WEBSRVSETTYPE("JS", "text/javascript"), 0);
}

TEST_F(FileAnswers, FolderWithoutItsSlashIsRedirected) {
    fs::create_directories(root_ / "docs" / "docs");
    fs::create_directories(root_ / "docs" / "both");
    WriteFile(root_ / "docs" / "both.htm", "file wins");
    fs::create_directories(root_ / "docs" / fs::u8path("caf\xC3\xA9"));
    struct Case {
        const char* target;
        std::string location;  // empty: no redirect
    } cases[] = {
        {"/docs", "/docs/"},
        {"/docs?x=1&y", "/docs/?x=1&y"},
        // Never "/\docs/", which a browser reads as another host.
        {"\\docs", "/docs/"},
        {"/docs\\", ""},
        {"/caf%C3%A9", "/caf%C3%A9/"},
        {"/both", ""},
        {"/nothing", ""},
        {"/docs.htm", ""},
    };
    for (const Case& c : cases) {
        const std::string got = AskWhole(std::string("GET ") + c.target + " HTTP/1.0\r\n\r\n");
        if (c.location.empty()) {
            EXPECT_EQ(got.find("301"), std::string::npos) << c.target;
            continue;
        }
        EXPECT_EQ(got.rfind("HTTP/1.0 301 Moved Permanently\r\n", 0), 0u) << c.target << ": " << got.substr(0, 60);
        EXPECT_EQ(HeaderValue(got, "Location"), c.location) << c.target;
    }
    EXPECT_EQ(Get("/both"), Head("HTTP/1.0 200 OK", "text/html", 9) + "file wins\r\n\r\n");
}

}  // namespace
