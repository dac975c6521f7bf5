// The incremental request reader: line rules, header values, the body of a
// POST to a program, and the same decision however the bytes are split.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/request_reader.h"

namespace {

using qv::server::Request;
using qv::server::RequestReader;
using Status = RequestReader::Status;

struct ReadOutcome {
    Status status;
    Request request;
};

// Feeds the pieces in order, then finishes if nothing was decided yet.
ReadOutcome Read(const std::vector<std::string>& pieces, bool finish = true) {
    RequestReader reader;
    Status status = Status::NotYet;
    for (const std::string& piece : pieces) {
        status = reader.Feed(piece);
        if (status != Status::NotYet) break;
    }
    if (finish) status = reader.Finish();
    return ReadOutcome{status, reader.request()};
}

struct LineCase {
    const char* name;
    std::string bytes;
    Status status;
    const char* method;
    const char* path;
    const char* programName;
    const char* query;
    int16_t cgiFlag;
};

class RequestLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(RequestLines, GiveMethodPathAndProgram) {
    const LineCase& c = GetParam();
    ReadOutcome out = Read({c.bytes});
    ASSERT_EQ(out.status, c.status);
    EXPECT_EQ(out.request.method, c.method);
    EXPECT_EQ(out.request.path, c.path);
    EXPECT_EQ(out.request.programName, c.programName);
    EXPECT_EQ(out.request.query, c.query);
    EXPECT_EQ(out.request.cgiFlag, c.cgiFlag);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RequestLines,
    ::testing::Values(
        LineCase{"Get", "GET /index.htm HTTP/1.0\r\n\r\n", Status::Decided, "GET", "index.htm", "index.htm", "", 0},
        LineCase{"LowerCaseGet", "get /a.htm HTTP/1.0\r\n\r\n", Status::Decided, "GET", "a.htm", "a.htm", "", 0},
        LineCase{"PutIsGet", "PUT /p.txt HTTP/1.0\r\n\r\n", Status::Decided, "GET", "p.txt", "p.txt", "", 0},
        // HEAD's URL is taken from position 5 too, which is the space after HEAD.
        LineCase{"HeadFromPositionFive", "HEAD /x.htm HTTP/1.0\r\n\r\n", Status::Decided, "GET", ".htm", ".htm", "",
                 0},
        LineCase{"GetProgramWithQuery", "GET /prog.exe?a=1&b=2 HTTP/1.0\r\n\r\n", Status::Decided, "GET",
                 "prog.exe?a=1&b=2", "prog.exe", "a=1&b=2", 1},
        LineCase{"PostToFile", "POST /form.htm HTTP/1.0\r\n\r\nbody\r\n", Status::Decided, "POST", "form.htm",
                 "form.htm", "", 0},
        LineCase{"PostToProgramTakesBody", "POST /run.cgi HTTP/1.0\r\n\r\n  name=x y  \r\nignored\r\n",
                 Status::Decided, "POST", "run.cgi", "run.cgi", "name=x y", 1},
        LineCase{"PostBodyWithoutLineEnd", "POST /run.cgi HTTP/1.0\r\n\r\nname=x", Status::Decided, "POST",
                 "run.cgi", "run.cgi", "", 1},
        LineCase{"UnknownMethod", "OPTIONS / HTTP/1.0\r\n\r\n", Status::Decided, "", "", "", "", 0},
        LineCase{"SecondRequestLineWins", "GET /a.htm HTTP/1.0\r\nget /b.cgi?q HTTP/1.0\r\n\r\n", Status::Decided,
                 "GET", "b.cgi?q", "b.cgi", "q", 1},
        LineCase{"SpacesAroundLineTrimmed", "   GET /s.htm HTTP/1.0   \r\n   \r\n", Status::Decided, "GET",
                 "s.htm", "s.htm", "", 0},
        LineCase{"BareLineFeedsNeverDecided", "GET /index.htm HTTP/1.0\n\n", Status::NoAnswer, "", "", "", "", 0},
        LineCase{"HeaderWithoutEmptyLine", "GET /index.htm HTTP/1.0\r\nHost: x\r\n", Status::NoAnswer, "GET",
                 "index.htm", "index.htm", "", 0},
        LineCase{"NothingAtAll", "", Status::NoAnswer, "", "", "", "", 0}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

struct HeaderCase {
    const char* name;
    std::string line;
    std::string Request::*field;
    const char* value;
};

class HeaderLines : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderLines, KeepTheValueAfterTheColon) {
    const HeaderCase& c = GetParam();
    ReadOutcome out = Read({"GET / HTTP/1.0\r\n" + c.line + "\r\n\r\n"});
    ASSERT_EQ(out.status, Status::Decided);
    EXPECT_EQ(out.request.*c.field, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HeaderLines,
    ::testing::Values(HeaderCase{"Accept", "Accept: text/html", &Request::accept, " text/html"},
                      HeaderCase{"AcceptLanguage", "ACCEPT-LANGUAGE: fi", &Request::acceptLanguage, " fi"},
                      HeaderCase{"AcceptEncoding", "accept-encoding:gzip", &Request::acceptEncoding, "gzip"},
                      HeaderCase{"UserAgent", "User-Agent: probe/1", &Request::userAgent, " probe/1"},
                      HeaderCase{"Host", "Host: example", &Request::host, " example"},
                      HeaderCase{"Connection", "Connection: close", &Request::connection, " close"},
                      HeaderCase{"Referer", "Referer: http://r/", &Request::referer, " http://r/"},
                      HeaderCase{"TabVanishes", "Host: ex\tample", &Request::host, " example"},
                      HeaderCase{"ControlBytesVanish", std::string("Host: a\x01\x1a" "b\x0b", 11), &Request::host,
                                 " ab"},
                      HeaderCase{"SpaceBeforeColonMatchesNothing", "host : example", &Request::host, ""},
                      HeaderCase{"AcceptDoesNotTakeAcceptLanguage", "Accept-Language: de", &Request::accept, ""}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

TEST(RequestReader, LaterHeaderLineReplacesEarlier) {
    ReadOutcome out = Read({"GET / HTTP/1.0\r\nHost: one\r\nHost: two\r\n\r\n"});
    EXPECT_EQ(out.request.host, " two");
}

TEST(RequestReader, DecidesAtTheEmptyLineWithoutFinishing) {
    RequestReader reader;
    EXPECT_EQ(reader.Feed("GET /a.htm HTTP/1.0\r\nHost: h\r\n"), Status::NotYet);
    EXPECT_EQ(reader.Feed("\r\n"), Status::Decided);
    // Later bytes change nothing once decided.
    EXPECT_EQ(reader.Feed("GET /b.htm HTTP/1.0\r\n\r\n"), Status::Decided);
    EXPECT_EQ(reader.request().path, "a.htm");
}

TEST(RequestReader, PostToProgramWaitsForTheBodyLine) {
    RequestReader reader;
    EXPECT_EQ(reader.Feed("POST /run.cgi HTTP/1.0\r\n\r\n"), Status::NotYet);
    EXPECT_EQ(reader.Feed("a=1"), Status::NotYet);
    EXPECT_EQ(reader.Feed("&b=2\r"), Status::Decided);
    EXPECT_EQ(reader.request().query, "a=1&b=2");
}

TEST(RequestReader, OnlyTheFirst1024BytesCount) {
    std::string head = "GET /a.htm HTTP/1.0\r\nX: ";
    std::string filler(1024 - head.size() - 1, 'x');
    // The empty line ends exactly at byte 1024...
    EXPECT_EQ(Read({head + filler.substr(1) + "\r\r"}, false).status, Status::Decided);
    // ...and one byte later it lies past the limit: no answer, without waiting for more.
    RequestReader reader;
    EXPECT_EQ(reader.Feed(head + filler + "\r\r"), Status::NoAnswer);
}

// Every way of cutting a request in two, and byte by byte, gives the same outcome.
TEST(RequestReader, SplitsGiveTheSameDecision) {
    const std::vector<std::string> requests = {
        "GET /prog.exe?x=1 HTTP/1.0\r\nHost: h\r\nUser-Agent: u\r\n\r\n",
        "POST /run.cgi HTTP/1.0\r\nAccept: */*\r\n\r\nbody line\r\nrest",
        "POST /run.cgi HTTP/1.0\r\n\r\nno end",
        "GET /a.htm HTTP/1.0\n\n",
    };
    for (const std::string& bytes : requests) {
        ReadOutcome whole = Read({bytes});
        for (size_t cut = 0; cut <= bytes.size(); ++cut) {
            ReadOutcome split = Read({bytes.substr(0, cut), bytes.substr(cut)});
            ASSERT_EQ(split.status, whole.status) << bytes << " cut at " << cut;
            EXPECT_EQ(split.request.path, whole.request.path);
            EXPECT_EQ(split.request.query, whole.request.query);
            EXPECT_EQ(split.request.host, whole.request.host);
        }
        std::vector<std::string> bytewise;
        for (char c : bytes) bytewise.emplace_back(1, c);
        ReadOutcome single = Read(bytewise);
        EXPECT_EQ(single.status, whole.status);
        EXPECT_EQ(single.request.query, whole.request.query);
    }
}

}  // namespace
