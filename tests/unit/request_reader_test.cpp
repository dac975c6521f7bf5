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
using namespace std::string_literals;

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
        // HEAD reads its URL after its own space, like GET.
        LineCase{"HeadReadsItsUrl", "HEAD /x.htm HTTP/1.0\r\n\r\n", Status::Decided, "GET", "x.htm", "x.htm", "",
                 0},
        LineCase{"HeadOfProgram", "head /p.cgi?a=1 HTTP/1.0\r\n\r\n", Status::Decided, "GET", "p.cgi?a=1",
                 "p.cgi", "a=1", 1},
        LineCase{"GetProgramWithQuery", "GET /prog.exe?a=1&b=2 HTTP/1.0\r\n\r\n", Status::Decided, "GET",
                 "prog.exe?a=1&b=2", "prog.exe", "a=1&b=2", 1},
        LineCase{"PostToFile", "POST /form.htm HTTP/1.0\r\n\r\nbody\r\n", Status::Decided, "POST", "form.htm",
                 "form.htm", "", 0},
        LineCase{"PostToProgramTakesBody", "POST /run.cgi HTTP/1.0\r\n\r\n  name=x y  \r\nignored\r\n",
                 Status::Decided, "POST", "run.cgi", "run.cgi", "name=x y", 1},
        // Browsers never end a form body with CR LF: what came is the body.
        LineCase{"PostBodyWithoutLineEnd", "POST /run.cgi HTTP/1.0\r\n\r\nname=x", Status::Decided, "POST",
                 "run.cgi", "run.cgi", "name=x", 1},
        LineCase{"PostByLength", "POST /run.cgi HTTP/1.0\r\nContent-Length: 7\r\n\r\na=1&b=2", Status::Decided,
                 "POST", "run.cgi", "run.cgi", "a=1&b=2", 1},
        LineCase{"PostLengthCutsTheBody", "POST /run.cgi HTTP/1.0\r\nContent-Length: 3\r\n\r\na=1&b=2",
                 Status::Decided, "POST", "run.cgi", "run.cgi", "a=1", 1},
        LineCase{"PostQueryFirstLineOfBody", "POST /run.cgi HTTP/1.0\r\nContent-Length: 9\r\n\r\n x=1 \r\ny=2",
                 Status::Decided, "POST", "run.cgi", "run.cgi", "x=1", 1},
        LineCase{"PostBodyShorterThanLength", "POST /run.cgi HTTP/1.0\r\nContent-Length: 10\r\n\r\na=1",
                 Status::NoAnswer, "POST", "run.cgi", "run.cgi", "", 1},
        // The URL's own query is not part of a posted program's name.
        LineCase{"PostUrlQueryOffTheName", "POST /run.cgi?x=1 HTTP/1.0\r\nContent-Length: 3\r\n\r\nb=2",
                 Status::Decided, "POST", "run.cgi?x=1", "run.cgi", "b=2", 1},
        LineCase{"UnknownMethod", "OPTIONS / HTTP/1.0\r\n\r\n", Status::Decided, "", "", "", "", 0},
        // Only the first line is the request line: a later one is a header line.
        LineCase{"SecondRequestLineIsAHeaderLine", "GET /a.htm HTTP/1.0\r\nget /b.cgi?q HTTP/1.0\r\n\r\n",
                 Status::Decided, "GET", "a.htm", "a.htm", "", 0},
        // A first line that is no request line leaves none, whatever follows.
        LineCase{"HeaderLineFirst", "Host: h\r\nGET /a.htm HTTP/1.0\r\n\r\n", Status::Decided, "", "", "", "", 0},
        // An empty line first is the header's end: a request line after it comes too late.
        LineCase{"EmptyLineFirst", "\r\nGET /a.htm HTTP/1.0\r\n\r\n", Status::Decided, "", "", "", "", 0},
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
                      HeaderCase{"Cookie", "Cookie:  a=1; b=2 ", &Request::cookie, "a=1; b=2"},
                      HeaderCase{"ContentType", "content-type: text/plain", &Request::bodyType, "text/plain"},
                      HeaderCase{"Range", "Range: bytes=0-9", &Request::range, "bytes=0-9"},
                      HeaderCase{"IfRange", "If-Range: \"a-b\"", &Request::ifRange, "\"a-b\""},
                      HeaderCase{"IfNoneMatch", "IF-NONE-MATCH: \"x\", \"y\"", &Request::ifNoneMatch, "\"x\", \"y\""},
                      HeaderCase{"IfModifiedSince", "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT",
                                 &Request::ifModifiedSince, "Sun, 06 Nov 1994 08:49:37 GMT"},
                      HeaderCase{"SpaceBeforeColonMatchesNothing", "host : example", &Request::host, ""},
                      HeaderCase{"AcceptDoesNotTakeAcceptLanguage", "Accept-Language: de", &Request::accept, ""}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

// Header lines whose names start like a method are header lines all the same.
TEST(RequestReader, HeaderNamesLikeMethodsLeaveTheRequestLine) {
    const char* const lines[] = {
        "Postman-Token: 0d9c5c7e-3f4a-4c55-9b2e-6a1f0f3b2c11",
        "Headers: x",
        "Get-Thing: /other.cgi?x HTTP/1.0",
        "PUTTY: /other.cgi?x",
        "Posted: /other.cgi",
        "HEAD /other.cgi?x HTTP/1.0",
    };
    for (const char* line : lines) {
        for (const char* first : {"GET /index.htm HTTP/1.1", "POST /index.htm HTTP/1.1"}) {
            ReadOutcome out = Read({std::string(first) + "\r\nHost: h\r\n" + line + "\r\nAccept: */*\r\n\r\n"});
            ASSERT_EQ(out.status, Status::Decided) << line;
            EXPECT_EQ(out.request.method, std::string(first).substr(0, std::string(first).find(' '))) << line;
            EXPECT_EQ(out.request.url, "/index.htm") << line;
            EXPECT_EQ(out.request.path, "index.htm") << line;
            EXPECT_EQ(out.request.programName, "index.htm") << line;
            EXPECT_EQ(out.request.cgiFlag, 0) << line;
            EXPECT_EQ(out.request.head, false) << line;
            // The lines around it are still read.
            EXPECT_EQ(out.request.host, " h") << line;
            EXPECT_EQ(out.request.accept, " */*") << line;
        }
    }
}

// A CR inside the header that its LF does not follow at once is no line end:
// the request is refused at the byte after it, however the bytes were split.
TEST(RequestReader, BareCarriageReturnRefused) {
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"in a header line", "GET /a.htm HTTP/1.0\r\nX-A: a\rGET /other.cgi HTTP/1.0\r\n\r\n"},
        {"after the request line", "GET /a.htm HTTP/1.0\rHost: h\r\n\r\n"},
        {"before the empty line", "GET /a.htm HTTP/1.0\r\nHost: h\r\r\n"},
        {"a control byte between CR and LF", "GET /a.htm HTTP/1.0\r\x01\n\r\n"},
        {"line feed first", "GET /a.htm HTTP/1.0\n\r\r\n"},
        {"a POST that takes a body", "POST /run.cgi HTTP/1.0\r\nContent-Length: 3\r\rX\r\n\r\nabc"},
    };
    for (const Case& c : cases) {
        for (size_t cut = 0; cut <= c.bytes.size(); ++cut) {
            ReadOutcome out = Read({c.bytes.substr(0, cut), c.bytes.substr(cut)}, false);
            ASSERT_EQ(out.status, Status::Decided) << c.name << ", cut at " << cut;
            EXPECT_EQ(out.request.refusal, qv::server::Refusal::BadLineEnd) << c.name << ", cut at " << cut;
            EXPECT_EQ(out.request.body.Whole(), "") << c.name;
        }
    }
    // Refused as soon as the byte after the CR is in, without waiting for the rest.
    RequestReader reader;
    EXPECT_EQ(reader.Feed("GET /a.htm HTTP/1.0\r"), Status::NotYet);
    EXPECT_EQ(reader.Feed("X"), Status::Decided);
    EXPECT_EQ(reader.request().refusal, qv::server::Refusal::BadLineEnd);
}

// Lines ended by CR LF, the pair split between two pieces anywhere, are read
// as lines; the empty line's CR still ends the header at once.
TEST(RequestReader, CarriageReturnAndLineFeedInTwoPieces) {
    const std::string bytes = "GET /a.htm HTTP/1.0\r\nHost: h\r\nCookie: c=1\r\n\r\n";
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
        ReadOutcome out = Read({bytes.substr(0, cut), bytes.substr(cut)}, false);
        ASSERT_EQ(out.status, Status::Decided) << "cut at " << cut;
        EXPECT_EQ(out.request.refusal, qv::server::Refusal::None) << "cut at " << cut;
        EXPECT_EQ(out.request.path, "a.htm");
        EXPECT_EQ(out.request.host, " h");
        EXPECT_EQ(out.request.cookie, "c=1");
    }
    RequestReader reader;
    EXPECT_EQ(reader.Feed("GET /a.htm HTTP/1.0\r"), Status::NotYet);
    EXPECT_EQ(reader.Feed("\n\r"), Status::Decided);
    EXPECT_EQ(reader.request().refusal, qv::server::Refusal::None);
}

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

TEST(RequestReader, HeaderUpTo16KiB) {
    const std::string line = "GET /a.htm HTTP/1.0\r\n";
    // Cookies and other unrecorded lines cost nothing: 4 KB of them is still a request.
    std::string cookies = "Cookie: " + std::string(4096, 'c') + "\r\n";
    ReadOutcome withCookies = Read({line + cookies + "Host: h\r\n\r\n"}, false);
    EXPECT_EQ(withCookies.status, Status::Decided);
    EXPECT_EQ(withCookies.request.host, " h");
    EXPECT_EQ(withCookies.request.refusal, qv::server::Refusal::None);

    // The empty line's CR as the header's last allowed byte...
    const size_t limit = RequestReader::kHeaderLimit;
    std::string filler = "X: " + std::string(limit - line.size() - 3 - 3, 'x') + "\r\n\r";
    ASSERT_EQ(line.size() + filler.size(), limit);
    ReadOutcome atLimit = Read({line + filler + "\n"}, false);
    EXPECT_EQ(atLimit.status, Status::Decided);
    EXPECT_EQ(atLimit.request.refusal, qv::server::Refusal::None);
    // ...and one byte later: refused without waiting for more.
    RequestReader reader;
    EXPECT_EQ(reader.Feed(line + "Y" + filler), Status::Decided);
    EXPECT_EQ(reader.request().refusal, qv::server::Refusal::HeaderTooLarge);
    // However long the rest, fed in pieces.
    RequestReader pieces;
    Status status = Status::NotYet;
    for (int i = 0; i < 70 && status == Status::NotYet; ++i) status = pieces.Feed(std::string(1000, 'z'));
    EXPECT_EQ(status, Status::Decided);
    EXPECT_EQ(pieces.request().refusal, qv::server::Refusal::HeaderTooLarge);
}

TEST(RequestReader, PostBodiesByteForByte) {
    // Line feeds, tabs and zero bytes of a body reach the program as sent.
    const std::string body = "--b\r\nContent-Type: x\r\n\r\n\x00\x01\t\nfile\r\n--b--"s;
    ReadOutcome out = Read({"POST /up.cgi HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=b\r\n"
                            "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body},
                           false);
    ASSERT_EQ(out.status, Status::Decided);
    EXPECT_EQ(out.request.body.Whole(), body);
    EXPECT_EQ(out.request.query, "--b");
    EXPECT_EQ(out.request.bodyType, "multipart/form-data; boundary=b");
    EXPECT_EQ(out.request.contentLength, static_cast<int64_t>(body.size()));
}

TEST(RequestReader, PostLengthsRefused) {
    struct Case {
        const char* name;
        std::string length;
        qv::server::Refusal refusal;
    };
    const Case cases[] = {
        {"negative", "-5", qv::server::Refusal::BadLength},
        {"not a number", "ten", qv::server::Refusal::BadLength},
        {"empty", "", qv::server::Refusal::BadLength},
        {"sign", "+5", qv::server::Refusal::BadLength},
        {"over 1 MiB", "1048577", qv::server::Refusal::BodyTooLarge},
        {"far over", "99999999999999999999999999", qv::server::Refusal::BodyTooLarge},
    };
    for (const Case& c : cases) {
        RequestReader reader;
        // Decided at the header's end: the body is never waited for.
        EXPECT_EQ(reader.Feed("POST /run.cgi HTTP/1.0\r\nContent-Length: " + c.length + "\r\n\r\n"), Status::Decided)
            << c.name;
        EXPECT_EQ(reader.request().refusal, c.refusal) << c.name;
    }
    // Exactly 1 MiB is taken.
    RequestReader most;
    EXPECT_EQ(most.Feed("POST /run.cgi HTTP/1.0\r\nContent-Length: 1048576\r\n\r\n"), Status::NotYet);
    EXPECT_TRUE(most.AwaitingBody());
    EXPECT_EQ(most.Feed(std::string(1048576, 'a')), Status::Decided);
    EXPECT_EQ(most.request().body.size(), 1048576u);
    // Without a length, a first line that never ends within 1 MiB is refused too.
    RequestReader endless;
    endless.Feed("POST /run.cgi HTTP/1.0\r\n\r\n");
    EXPECT_EQ(endless.Feed(std::string(1048577, 'a')), Status::Decided);
    EXPECT_EQ(endless.request().refusal, qv::server::Refusal::BodyTooLarge);
    // A bad length on a request that takes no body changes nothing.
    EXPECT_EQ(Read({"GET /a.htm HTTP/1.0\r\nContent-Length: -1\r\n\r\n"}, false).request.refusal,
              qv::server::Refusal::None);
}

// Every way of cutting a request in two, and byte by byte, gives the same outcome.
TEST(RequestReader, SplitsGiveTheSameDecision) {
    const std::vector<std::string> requests = {
        "GET /prog.exe?x=1 HTTP/1.0\r\nHost: h\r\nUser-Agent: u\r\n\r\n",
        "POST /run.cgi HTTP/1.0\r\nAccept: */*\r\n\r\nbody line\r\nrest",
        "POST /run.cgi HTTP/1.0\r\n\r\nno end",
        "POST /run.cgi HTTP/1.0\r\nContent-Length: 12\r\n\r\nline\r\n\nmore\0rest"s,
        "POST /run.cgi HTTP/1.0\r\nContent-Length: 20\r\n\r\ntoo short",
        "GET /a.htm HTTP/1.0\n\n",
        "GET /a.htm HTTP/1.0\r\nX-A: a\rGET /b.htm HTTP/1.0\r\n\r\n",
        "GET /a.htm HTTP/1.0\r\nPostman-Token: t\r\n\r\n",
    };
    for (const std::string& bytes : requests) {
        ReadOutcome whole = Read({bytes});
        for (size_t cut = 0; cut <= bytes.size(); ++cut) {
            ReadOutcome split = Read({bytes.substr(0, cut), bytes.substr(cut)});
            ASSERT_EQ(split.status, whole.status) << bytes << " cut at " << cut;
            EXPECT_EQ(split.request.path, whole.request.path);
            EXPECT_EQ(split.request.query, whole.request.query);
            EXPECT_EQ(split.request.host, whole.request.host);
            EXPECT_EQ(split.request.body.Whole(), whole.request.body.Whole());
            EXPECT_EQ(split.request.refusal, whole.request.refusal);
        }
        std::vector<std::string> bytewise;
        for (char c : bytes) bytewise.emplace_back(1, c);
        ReadOutcome single = Read(bytewise);
        EXPECT_EQ(single.status, whole.status);
        EXPECT_EQ(single.request.query, whole.request.query);
    }
}

// A body longer than what is kept in memory is kept whole all the same,
// the rest of it in a file: byte for byte with a length, as its first line
// (controls and the spaces around it removed) without one, however it came.
TEST(RequestReader, LongBodiesAreKeptWholeOutsideMemory) {
    std::string body;
    for (int i = 0; body.size() < 100000; ++i) body += std::to_string(i) + (i % 7 == 0 ? "\r\n" : " ");
    const std::string withLength =
        "POST /run.cgi HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body + "after";
    std::string line = "  " + std::string(40000, 'x') + "\t" + std::string(30000, 'y') + "   ";
    const std::string lineRequest = "POST /run.cgi HTTP/1.0\r\n\r\n" + line + "\r\nnot the body";
    const std::string lineKept = std::string(40000, 'x') + std::string(30000, 'y');
    struct Case {
        const std::string* request;
        std::string kept;
    } cases[] = {{&withLength, body}, {&lineRequest, lineKept}};
    for (const Case& c : cases) {
        for (size_t cut : {size_t{10}, size_t{20000}, size_t{70000}, c.request->size() - 3}) {
            ReadOutcome out = Read({c.request->substr(0, cut), c.request->substr(cut)});
            ASSERT_EQ(out.status, Status::Decided) << cut;
            EXPECT_EQ(out.request.body.size(), c.kept.size()) << cut;
            EXPECT_EQ(out.request.body.Whole(), c.kept) << cut;
            // Only the first bytes are held in memory.
            EXPECT_EQ(out.request.body.head().size(), qv::server::RequestBody::kInMemory) << cut;
            EXPECT_NE(out.request.body.rest(), 0u) << cut;
        }
    }
}

}  // namespace
