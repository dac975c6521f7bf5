// The program environment block, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "content/cgi_environment.h"
#include "content/url_decode.h"

namespace {

using namespace std::string_literals;
using qv::content::BuildCgiEnvironment;
using qv::platform::LocalTime;

const LocalTime kSeventhOfDecember{2026, 12, 7, 10, 0, 0, 400};

std::vector<std::string> Entries(const std::string& block) {
    std::vector<std::string> entries;
    size_t begin = 0;
    while (begin < block.size() && block[begin] != '\0') {
        const size_t end = block.find('\0', begin);
        if (end == std::string::npos) break;
        entries.push_back(block.substr(begin, end - begin));
        begin = end + 1;
    }
    return entries;
}

TEST(CgiEnvironment, FullRequestByteForByte) {
    const std::string expected =
        "REQUEST_METHOD=POST\0"
        "QUERY_STRING=name=a b&x=%41\0"
        "QUERY_STRINGUNESCAPTED=name=a b&x=A\0"
        "AUTH_TYPE=\0"
        "REMOTE_ADDRESS= server1\0"
        "REMOTE_HOST= server1\0"
        "SERVER_SOFTWARE=Quorvex Version 1.0\0"
        "SERVER_NAME=Quorvex Version 1.0\0"
        "GATEWAY_INTERFACE=CGI/1.1\0"
        "SERVER_PROTOCOL=HTTP/1.1\0"
        "SERVER_PORT=8081\0"
        "PATH_INFO=\0"
        "PATH_TRANSLATED=\0"
        "SCRIPT_NAME=/bin/form.cgi\0"
        "REMOTE_USER=\0"
        "REMOTE_IDENT=\0"
        "HTTP_ACCEPT= text/html\0"
        "HTTP_ACCEPT_CHARSET=\0"
        "HTTP_ACCEPT_ENCODING= gzip\0"
        "HTTP_ACCEPT_LANGUAGE= en-GB\0"
        "HTTP_USER_AGENT= Probe/2.0\0"
        "HTTP_REFERER= http://r/\0"
        "HTTP_CONNECTION= close\0"
        "HTTP_FROM=\0"
        "HTTP_COOKIE=id=7; theme=dark\0"
        "HTTP_HOST=server1\0"
        "HTTP_PRAGMA=\0"
        "HTTPS=\0"
        "DOCUMENT=form.cgi\0"
        "DOCUMENT_URI=/bin/form.cgi\0"
        "DATE_GMT=\0"
        "DATE_LOCAL=12-07-2026\0"
        "LAST_MODIFIED=\0"
        "LOCAL_ADDR=buildhost\0"
        "LOGON_USER=\0"
        "SCRIPT_NAME=/bin/form.cgi\0"
        "SERVER_PORT_SECURE=\0"
        "CONTENT_LENGTH=14\0"
        "CONTENT_TYPE=application/x-www-form-urlencoded\0"
        "REMOTE_ADDR=127.0.0.1\0"
        "\0\0"s;
    qv::content::CgiRequestExtras extras;
    extras.unescapedQuery = "name=a b&x=A";
    extras.serverProtocol = "HTTP/1.1";
    extras.serverPort = "8081";
    extras.scriptName = "/bin/form.cgi";
    extras.document = "form.cgi";
    extras.documentUri = "/bin/form.cgi";
    extras.cookie = "id=7; theme=dark";
    extras.host = "server1";
    extras.contentLength = "14";
    extras.contentType = "application/x-www-form-urlencoded";
    extras.remoteAddress = "127.0.0.1";
    EXPECT_EQ(BuildCgiEnvironment("POST", "name=a b&x=%41", " server1", " text/html", " en-GB",
                                  " gzip", " Probe/2.0", " http://r/", " close", kSeventhOfDecember,
                                  "buildhost", extras),
              expected);
}

TEST(CgiEnvironment, BareGetRequest) {
    const std::string block =
        BuildCgiEnvironment("GET", "", "", "", "", "", "", "", "", LocalTime{2031, 1, 2, 0, 0, 0, 0}, "");
    const std::vector<std::string> entries = Entries(block);
    // The 37 entries, then CONTENT_LENGTH, CONTENT_TYPE and REMOTE_ADDR.
    ASSERT_EQ(entries.size(), 40u);
    EXPECT_EQ(entries[0], "REQUEST_METHOD=GET");
    EXPECT_EQ(entries[1], "QUERY_STRING=");
    const char* const emptyRequestEntries[] = {"HTTP_ACCEPT=", "HTTP_ACCEPT_CHARSET=",
                                               "HTTP_ACCEPT_ENCODING=", "HTTP_ACCEPT_LANGUAGE=",
                                               "HTTP_USER_AGENT=", "HTTP_REFERER=", "HTTP_CONNECTION="};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(entries[16 + i], emptyRequestEntries[i]);
    EXPECT_EQ(entries[31], "DATE_LOCAL=01-02-2031");
    EXPECT_EQ(entries[33], "LOCAL_ADDR=");
    EXPECT_EQ(entries[24], "HTTP_COOKIE=");
    EXPECT_EQ(entries[25], "HTTP_HOST=");
    const std::string end = "SERVER_PORT_SECURE=\0CONTENT_LENGTH=\0CONTENT_TYPE=\0REMOTE_ADDR=\0\0\0"s;
    ASSERT_GE(block.size(), end.size());
    EXPECT_EQ(block.substr(block.size() - end.size()), end);
}

TEST(CgiEnvironment, UnescapedQuery) {
    struct Case {
        std::string query, unescaped;
    } cases[] = {
        {"", ""},
        {"a=1&b=2", "a=1&b=2"},
        {"name=caf%C3%A9+x", "name=caf\xC3\xA9+x"},
        {"%41%4a%4A", "AJJ"},
        {"100%", "100%"},
        {"%4", "%4"},
        {"%zz%4g", "%zz%4g"},
        {"%%41", "%A"},
        {"%2541", "%41"},
    };
    for (const Case& c : cases) EXPECT_EQ(qv::content::UnescapeQuery(c.query), c.unescaped) << c.query;
}

TEST(CgiEnvironment, ZeroByteInAValueCannotAddAnEntry) {
    const std::string block = BuildCgiEnvironment("GET", "a\0PATH=/evil"s, "", "", "", "", "", "", "",
                                                  kSeventhOfDecember, "h");
    const std::vector<std::string> entries = Entries(block);
    ASSERT_EQ(entries.size(), 40u);
    EXPECT_EQ(entries[1], "QUERY_STRING=aPATH=/evil");
}

TEST(CgiEnvironment, LiveDateAndHostName) {
    const LocalTime now = qv::platform::CurrentLocalTime();
    const std::vector<std::string> entries =
        Entries(BuildCgiEnvironment("GET", "", "", "", "", "", "", "", ""));
    ASSERT_EQ(entries.size(), 40u);
    // The date of the moment the test read the clock, or of a midnight just passed.
    EXPECT_TRUE(entries[31] == "DATE_LOCAL=" + qv::content::LocalDateText(now) ||
                entries[31] == "DATE_LOCAL=" +
                                   qv::content::LocalDateText(qv::platform::CurrentLocalTime()));
    EXPECT_EQ(entries[31].size(), std::string("DATE_LOCAL=12-07-2026").size());
    EXPECT_EQ(entries[33], "LOCAL_ADDR=" + qv::platform::LocalHostName());
}

}  // namespace
