// The URLs the client calls open: the question URL built from its parts, the
// credentials written in after the first "//", and the 1,023-byte buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/question_url.h"
#include "client/url_buffer.h"

namespace {

using qv::client::kUrlBufferLimit;
using qv::client::QuestionUrl;
using qv::client::UrlBuffer;
using qv::client::WithCredentials;

struct QuestionCase {
    const char* host;
    int32_t port;
    const char* path;
    const char* document;
    const char* query;
    const char* url;
};

TEST(QuestionUrl, ComposesHostPortPathDocumentAndQuery) {
    const std::vector<QuestionCase> cases = {
        {"H", 80, "", "", "", "http://H:80/default.html"},
        {"H", 8080, "a/b", "q.htm", "x=1", "http://H:8080/a/b/q.htm?x=1"},
        {"H", 8080, "", "q.htm", "x=1", "http://H:8080/q.htm?x=1"},
        {"H", 8080, "dir", "", "", "http://H:8080/dir/default.html"},
        {"H", 81, "", "", "a=1&b=2", "http://H:81/default.html?a=1&b=2"},
        // Inserted as they are: slashes at the ends of the path are doubled, nothing is escaped.
        {"H", 80, "/a/", "q.htm", "", "http://H:80//a//q.htm"},
        {"h st", 80, "p q", "d?e", "x y", "http://h st:80/p q/d?e?x y"},
        // The port is written as a signed decimal and never checked.
        {"H", -1, "", "d", "", "http://H:-1/d"},
        {"H", 0, "", "d", "", "http://H:0/d"},
        {"H", 2147483647, "", "d", "", "http://H:2147483647/d"},
        {"H", -2147483647 - 1, "", "d", "", "http://H:-2147483648/d"},
        {"", 80, "", "", "", "http://:80/default.html"},
    };
    for (const QuestionCase& c : cases) {
        EXPECT_EQ(QuestionUrl(c.host, c.port, c.path, c.document, c.query), c.url)
            << c.host << " " << c.port << " " << c.path << " " << c.document << " " << c.query;
    }
}

TEST(QuestionUrl, LongPartsAreCutToTheBuffer) {
    // A host that fills the buffer loses the port and everything after it.
    const std::string host(1100, 'h');
    const std::string url = QuestionUrl(host, 8080, "a", "q.htm", "x=1");
    EXPECT_EQ(url.size(), kUrlBufferLimit);
    EXPECT_EQ(url, ("http://" + host).substr(0, kUrlBufferLimit));

    // A query that overflows keeps its first bytes only.
    const std::string query(2000, 'q');
    const std::string cut = QuestionUrl("H", 80, "", "d", query);
    EXPECT_EQ(cut.size(), kUrlBufferLimit);
    EXPECT_EQ(cut, ("http://H:80/d?" + query).substr(0, kUrlBufferLimit));

    // Exactly at the limit nothing is lost.
    const std::string prefix = "http://H:80/";
    const std::string fits(kUrlBufferLimit - prefix.size(), 'd');
    EXPECT_EQ(QuestionUrl("H", 80, "", fits, ""), prefix + fits);
    EXPECT_EQ(QuestionUrl("H", 80, "", fits + "e", ""), prefix + fits);
}

TEST(UrlBuffer, KeepsAtMostItsLimitAtEveryStep) {
    UrlBuffer buffer(std::string(2000, 'a'));
    EXPECT_EQ(buffer.Text(), std::string(kUrlBufferLimit, 'a'));
    buffer.Append("tail");  // a full buffer takes nothing more
    EXPECT_EQ(buffer.Text(), std::string(kUrlBufferLimit, 'a'));

    buffer.Store(std::string(kUrlBufferLimit - 2, 'b'));
    buffer.Append("cdef");
    EXPECT_EQ(buffer.Text(), std::string(kUrlBufferLimit - 2, 'b') + "cd");

    buffer.Store("");
    EXPECT_EQ(buffer.Text(), "");
    // Zero-terminated text: a NUL ends it.
    buffer.Store(std::string("ab\0cd", 5));
    EXPECT_EQ(buffer.Text(), "ab");
}

struct CredentialCase {
    const char* url;
    const char* user;
    const char* password;
    const char* opened;
};

TEST(Credentials, AreWrittenInAfterTheFirstDoubleSlash) {
    const std::vector<CredentialCase> cases = {
        {"http://H/a", "u", "p", "http://u:p@H/a"},
        {"http://H/a", "u", "", "http://u:@H/a"},
        {"http://H/a", "", "p", "http://H/a"},
        {"H/a", "u", "p", "H/a"},
        {"", "u", "p", ""},
        // The first "//" anywhere, even a later one when the scheme has none.
        {"x/y//z//w", "u", "p", "x/y//u:p@z//w"},
        {"//", "u", "p", "//u:p@"},
        {"https://H:443/a?b", "user", "secret", "https://user:secret@H:443/a?b"},
        // Inserted as they are, without escaping.
        {"http://H/", "a@b", "c:d/e", "http://a@b:c:d/e@H/"},
        // A URL that already names a user gets a second one in front.
        {"http://x:y@H/", "u", "p", "http://u:p@x:y@H/"},
    };
    for (const CredentialCase& c : cases) {
        EXPECT_EQ(WithCredentials(c.url, c.user, c.password), c.opened) << c.url;
    }
}

TEST(Credentials, ThatOverflowTheBufferAreCut) {
    // A URL that reaches the limit only through the inserted credentials.
    const std::string url = "http://H/" + std::string(kUrlBufferLimit - 12, 'p');
    ASSERT_LT(url.size(), kUrlBufferLimit);
    UrlBuffer buffer(url);
    buffer.Store(WithCredentials(buffer.Text(), "user", "pass"));
    EXPECT_EQ(buffer.Text().size(), kUrlBufferLimit);
    EXPECT_EQ(buffer.Text(), ("http://user:pass@H/" + std::string(kUrlBufferLimit - 12, 'p')).substr(0, kUrlBufferLimit));
}

}  // namespace
