// The incremental request reader: line rules, header values, the body of a
// POST to a program (by its length or chunked), the framing every request
// must keep, methods, versions and absolute URLs, and the same decision
// however the bytes are split.
#include <gtest/gtest.h>

#include <sstream>
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
        // An LF alone ends a line as CR LF does.
        LineCase{"BareLineFeedsEndLines", "GET /index.htm HTTP/1.0\n\n", Status::Decided, "GET", "index.htm",
                 "index.htm", "", 0},
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
    ReadOutcome out = Read({"POST /up.cgi HTTP/1.1\r\nHost: h\r\nContent-Type: multipart/form-data; boundary=b\r\n"
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
    // A bad length is refused on a request whose body is not read too: where
    // that request ends is unknown all the same.
    EXPECT_EQ(Read({"GET /a.htm HTTP/1.0\r\nContent-Length: -1\r\n\r\n"}, false).request.refusal,
              qv::server::Refusal::BadLength);
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
        "GET /a.htm HTTP/1.0\nHost: h\n\r\n",
        "POST /run.cgi HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n"
        "4;x=1\r\nab\r\n\r\n10\r\n0123456789abcdef\r\n0\r\nT: t\r\n\r\nnext",
        "POST /run.cgi HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n3\nabc\n0\n\n",
        "POST /run.cgi HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcX\r\n0\r\n\r\n",
        "POST /run.cgi HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n",
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

// An LF alone ends the request line and header lines as CR LF does, mixed
// with CR LF or not, and the request is decided at once, however it is split.
TEST(RequestReader, BareLineFeedsEndLinesAnywhereInTheHeader) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* path;
        const char* host;
    } cases[] = {
        {"every line", "GET /a.htm HTTP/1.0\nHost: h\nCookie: c=1\n\n", "a.htm", " h"},
        {"after the request line", "GET /a.htm HTTP/1.0\nHost: h\r\n\r\n", "a.htm", " h"},
        {"after a header line", "GET /a.htm HTTP/1.0\r\nHost: h\n\r\n", "a.htm", " h"},
        {"the empty line", "GET /a.htm HTTP/1.0\r\nHost: h\r\n\n", "a.htm", " h"},
        // The empty line's CR ends the header at once, after an LF as after CR LF.
        {"empty line's CR after an LF", "GET /a.htm HTTP/1.0\n\r\r\n", "a.htm", ""},
        // An LF inside the request line ends it there.
        {"inside the request line", "GET /pa\nge.htm HTTP/1.0\r\nHost: h\r\n\r\n", "pa.htm", " h"},
    };
    for (const Case& c : cases) {
        for (size_t cut = 0; cut <= c.bytes.size(); ++cut) {
            ReadOutcome out = Read({c.bytes.substr(0, cut), c.bytes.substr(cut)}, false);
            ASSERT_EQ(out.status, Status::Decided) << c.name << ", cut at " << cut;
            EXPECT_EQ(out.request.refusal, qv::server::Refusal::None) << c.name;
            EXPECT_EQ(out.request.path, c.path) << c.name;
            EXPECT_EQ(out.request.host, c.host) << c.name;
        }
    }
}

// Methods as the file route answers them, the protocol version, and absolute
// URLs read as their path. What the host sees of a request (method, mapped
// path) is what it always was: PUT as GET, other methods with no path.
TEST(RequestReader, MethodsVersionsAndTargets) {
    using qv::server::Verb;
    struct Case {
        std::string line;
        Verb verb;
        bool http11;
        const char* method;
        const char* url;
        const char* path;
    } cases[] = {
        {"GET /a.htm HTTP/1.1", Verb::Get, true, "GET", "/a.htm", "a.htm"},
        {"GET /a.htm HTTP/1.0", Verb::Get, false, "GET", "/a.htm", "a.htm"},
        {"GET /a.htm", Verb::Get, false, "GET", "/a.htm", "a.htm"},
        {"GET /a.htm http/1.1", Verb::Get, true, "GET", "/a.htm", "a.htm"},
        {"GET /a.htm HTTP/2.0", Verb::Get, true, "GET", "/a.htm", "a.htm"},
        {"GET /a.htm HTTP/1.x", Verb::Get, false, "GET", "/a.htm", "a.htm"},
        {"HEAD /a.htm HTTP/1.0", Verb::Head, false, "GET", "/a.htm", "a.htm"},
        {"POST /f.htm HTTP/1.0", Verb::Post, false, "POST", "/f.htm", "f.htm"},
        {"PUT /p.txt HTTP/1.1", Verb::Other, true, "GET", "/p.txt", "p.txt"},
        {"OPTIONS * HTTP/1.1", Verb::Options, true, "", "*", ""},
        {"options /a.htm HTTP/1.0", Verb::Options, false, "", "/a.htm", ""},
        {"OPTIONSX /a.htm HTTP/1.0", Verb::Other, false, "", "/a.htm", ""},
        {"DELETE /a.htm HTTP/1.1", Verb::Other, true, "", "/a.htm", ""},
        {"PATCH /a.htm", Verb::Other, false, "", "/a.htm", ""},
        {"BREW", Verb::Other, false, "", "", ""},
        {"GET http://example.test:8080/dir/page.htm?x=1 HTTP/1.1", Verb::Get, true, "GET", "/dir/page.htm?x=1",
         "dir\\page.htm?x=1"},
        {"GET HTTPS://example.test HTTP/1.1", Verb::Get, true, "GET", "/", "default.htm"},
        // (Mapped as "/?q=1" always was.)
        {"GET http://example.test?q=1 HTTP/1.1", Verb::Get, true, "GET", "/?q=1", "?q=1.htm"},
        {"DELETE http://h/a.htm HTTP/1.1", Verb::Other, true, "", "/a.htm", ""},
        // Not an absolute URL: left as it is.
        {"GET http:/a.htm HTTP/1.1", Verb::Get, true, "GET", "http:/a.htm", "http:\\a.htm"},
    };
    for (const Case& c : cases) {
        ReadOutcome out = Read({c.line + "\r\nHost: h\r\n\r\n"}, false);
        ASSERT_EQ(out.status, Status::Decided) << c.line;
        EXPECT_EQ(out.request.refusal, qv::server::Refusal::None) << c.line;
        EXPECT_EQ(out.request.verb, c.verb) << c.line;
        EXPECT_EQ(out.request.http11, c.http11) << c.line;
        EXPECT_EQ(out.request.method, c.method) << c.line;
        EXPECT_EQ(out.request.url, c.url) << c.line;
        EXPECT_EQ(out.request.path, c.path) << c.line;
    }
    // An empty line first: no request line at all.
    EXPECT_EQ(Read({"\r\nGET /a.htm HTTP/1.1\r\n\r\n"}).request.verb, Verb::None);
}

// An absolute URL gives the same request as its path would: the mapped path,
// the program and its query, the body of a POST.
TEST(RequestReader, AbsoluteUrlsAreReadAsTheirPath) {
    const char* const targets[] = {"/page.htm", "/dir/sub/", "/prog.exe?a=1&b=2", "/run.cgi", "/"};
    for (const char* target : targets) {
        for (const char* method : {"GET ", "HEAD ", "POST "}) {
            const std::string rest = std::string(" HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\n\r\nq=1");
            ReadOutcome origin = Read({method + std::string(target) + rest});
            ReadOutcome absolute = Read({method + std::string("http://example.test:81") + target + rest});
            ASSERT_EQ(absolute.status, origin.status) << method << target;
            EXPECT_EQ(absolute.request.url, origin.request.url) << method << target;
            EXPECT_EQ(absolute.request.path, origin.request.path) << method << target;
            EXPECT_EQ(absolute.request.programName, origin.request.programName) << method << target;
            EXPECT_EQ(absolute.request.query, origin.request.query) << method << target;
            EXPECT_EQ(absolute.request.cgiFlag, origin.request.cgiFlag) << method << target;
            EXPECT_EQ(absolute.request.body.Whole(), origin.request.body.Whole()) << method << target;
        }
    }
}

// HTTP/1.1 requires a Host line; earlier versions do not.
TEST(RequestReader, Http11WithoutHostRefused) {
    struct Case {
        std::string bytes;
        qv::server::Refusal refusal;
    } cases[] = {
        {"GET /a.htm HTTP/1.1\r\n\r\n", qv::server::Refusal::MissingHost},
        {"GET /a.htm HTTP/1.1\r\nAccept: */*\r\nhost : h\r\n\r\n", qv::server::Refusal::MissingHost},
        {"POST /run.cgi HTTP/1.1\r\nContent-Length: 3\r\n\r\n", qv::server::Refusal::MissingHost},
        {"OPTIONS * HTTP/1.1\r\n\r\n", qv::server::Refusal::MissingHost},
        {"GET http://h/a.htm HTTP/1.1\r\n\r\n", qv::server::Refusal::MissingHost},
        {"GET /a.htm HTTP/1.1\r\nHost:\r\n\r\n", qv::server::Refusal::None},
        {"GET /a.htm HTTP/1.1\r\nhost: h\r\n\r\n", qv::server::Refusal::None},
        {"GET /a.htm HTTP/1.0\r\n\r\n", qv::server::Refusal::None},
        {"GET /a.htm\r\n\r\n", qv::server::Refusal::None},
    };
    for (const Case& c : cases) {
        // Decided at the header's end: a body is not waited for.
        ReadOutcome out = Read({c.bytes}, false);
        ASSERT_EQ(out.status, Status::Decided) << c.bytes;
        EXPECT_EQ(out.request.refusal, c.refusal) << c.bytes;
    }
}

// How a body is framed is checked for every request, whether its body is
// read or not: where the request ends must never be in doubt.
TEST(RequestReader, FramingInDoubtRefusedForEveryRequest) {
    using qv::server::Refusal;
    struct Case {
        const char* name;
        std::string lines;
        Refusal refusal;
    } cases[] = {
        {"length and chunked", "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n", Refusal::BadFraming},
        {"chunked and length", "Transfer-Encoding: chunked\r\nContent-Length: 5\r\n", Refusal::BadFraming},
        {"two lengths that differ", "Content-Length: 5\r\nContent-Length: 6\r\n", Refusal::BadFraming},
        {"a list that differs", "Content-Length: 5, 6\r\n", Refusal::BadFraming},
        {"a bad length after a good one", "Content-Length: 5\r\nContent-Length: x\r\n", Refusal::BadFraming},
        {"not a number", "Content-Length: 5x\r\n", Refusal::BadLength},
        {"another coding", "Transfer-Encoding: gzip\r\n", Refusal::BadFraming},
        {"chunked not alone", "Transfer-Encoding: gzip, chunked\r\n", Refusal::BadFraming},
        {"chunked twice", "Transfer-Encoding: chunked, chunked\r\n", Refusal::BadFraming},
        {"chunked on two lines", "Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n",
         Refusal::BadFraming},
        {"an empty coding", "Transfer-Encoding:\r\n", Refusal::BadFraming},
        {"identity", "Transfer-Encoding: identity\r\n", Refusal::BadFraming},
        {"chunked with more to its name", "Transfer-Encoding: chunkedx\r\n", Refusal::BadFraming},
        // Repeated equal lengths say one thing.
        {"the same length twice", "Content-Length: 0\r\nContent-Length: 0\r\n", Refusal::None},
        {"the same length in a list", "Content-Length: 0, 00\r\n", Refusal::None},
        {"chunked, letter case ignored", "Transfer-Encoding:  Chunked \r\n", Refusal::None},
    };
    for (const Case& c : cases) {
        for (const char* first : {"GET /a.htm HTTP/1.1", "POST /run.cgi HTTP/1.1", "POST /form.htm HTTP/1.1"}) {
            RequestReader reader;
            const Status status = reader.Feed(std::string(first) + "\r\nHost: h\r\n" + c.lines + "\r\n");
            EXPECT_EQ(reader.request().refusal, c.refusal) << c.name << ", " << first;
            // Refused at the header's end, before any body.
            if (c.refusal != Refusal::None) {
                EXPECT_EQ(status, Status::Decided) << c.name << ", " << first;
            }
        }
    }
    // Chunked is read on HTTP/1.1 requests only.
    RequestReader old;
    EXPECT_EQ(old.Feed("POST /run.cgi HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n"), Status::Decided);
    EXPECT_EQ(old.request().refusal, Refusal::BadFraming);
}

namespace {

const std::string kChunkedHead = "POST /run.cgi HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n";

}  // namespace

// A chunked body reaches the program decoded: sizes in hex, extensions and
// trailers dropped, line ends CR LF or LF alone; decided at its empty last
// line, however the bytes were split, and bytes after it are not part of it.
TEST(RequestReader, ChunkedBodiesDecoded) {
    struct Case {
        const char* name;
        std::string wire;
        std::string body;
    } cases[] = {
        {"one chunk", "5\r\nhello\r\n0\r\n\r\n", "hello"},
        {"several, hex either case", "3\r\nabc\r\na\r\n0123456789\r\nB\r\n-----------\r\n0\r\n\r\n",
         "abc0123456789-----------"},
        {"extensions", "5;name=value\r\nhello\r\n0;last=\"x;y\"\r\n\r\n", "hello"},
        {"spaces before an extension", "5 \t;x\r\nhello\r\n0\r\n\r\n", "hello"},
        {"trailers", "5\r\nhello\r\n0\r\nX-Sum: 1\r\nAnother: two\r\n\r\n", "hello"},
        {"line feeds alone", "5\nhello\n0\nX-Sum: 1\n\n", "hello"},
        {"leading zeros", "0005\r\nhello\r\n000\r\n\r\n", "hello"},
        {"line ends and zero bytes in the data", "8\r\n\r\n\0x\r\ny\n\r\n0\r\n\r\n"s, "\r\n\0x\r\ny\n"s},
        {"empty", "0\r\n\r\n", ""},
    };
    for (const Case& c : cases) {
        const std::string bytes = kChunkedHead + c.wire + "POST /other.cgi HTTP/1.1\r\n";
        for (size_t cut = kChunkedHead.size() - 2; cut <= bytes.size(); ++cut) {
            ReadOutcome out = Read({bytes.substr(0, cut), bytes.substr(cut)}, false);
            ASSERT_EQ(out.status, Status::Decided) << c.name << ", cut at " << cut;
            EXPECT_EQ(out.request.refusal, qv::server::Refusal::None) << c.name;
            EXPECT_TRUE(out.request.chunked) << c.name;
            EXPECT_EQ(out.request.body.Whole(), c.body) << c.name << ", cut at " << cut;
        }
        // Byte by byte, not decided before the last byte of the body.
        RequestReader reader;
        const std::string request = kChunkedHead + c.wire;
        for (size_t i = 0; i < request.size(); ++i) {
            const Status status = reader.Feed(request.substr(i, 1));
            ASSERT_EQ(status, i + 1 == request.size() ? Status::Decided : Status::NotYet) << c.name << " at " << i;
        }
        EXPECT_EQ(reader.request().body.Whole(), c.body) << c.name;
    }
    // The query is the decoded body's first line, as for a body by its length.
    EXPECT_EQ(Read({kChunkedHead + "4\r\n a=1\r\n5\r\n&b=2\r\r\n0\r\n\r\n"}).request.query, "a=1&b=2");
}

// A chunked body that breaks its framing is refused as soon as the byte that
// breaks it is in.
TEST(RequestReader, MalformedChunkedBodiesRefused) {
    struct Case {
        const char* name;
        std::string wire;  // up to and including the byte that breaks the framing
    } cases[] = {
        {"not hex", "x"},
        {"hex after a wrong byte", "5x"},
        {"a space inside the size", "5 3"},
        {"a sign", "-"},
        {"a hex prefix", "0x"},
        {"an empty size line", "\r\n"},
        {"a space before the size", " "},
        {"an extension without a size", ";"},
        {"a CR without its LF after the size", "5\rh"},
        {"no line end after the data", "5\r\nhelloX"},
        {"a CR without its LF after the data", "5\r\nhello\r0"},
        {"a CR without its LF in an extension", "5;a\rb"},
        {"a CR without its LF in a trailer", "0\r\nX: a\rb"},
        {"a CR without its LF at the end", "0\r\n\rX"},
        {"a size past 64 bits", "10000000000000000"},
        {"a size past 64 bits after zeros", "00FFFFFFFFFFFFFFFFF"},
    };
    for (const Case& c : cases) {
        RequestReader reader;
        ASSERT_EQ(reader.Feed(kChunkedHead + c.wire.substr(0, c.wire.size() - 1)), Status::NotYet) << c.name;
        EXPECT_EQ(reader.Feed(c.wire.substr(c.wire.size() - 1)), Status::Decided) << c.name;
        EXPECT_EQ(reader.request().refusal, qv::server::Refusal::BadChunk) << c.name;
        EXPECT_TRUE(reader.request().body.empty()) << c.name;
    }
}

// The body limit holds for the decoded body, whatever the chunks; the framing
// has a bound of its own; a body that stops before its last chunk starts nothing.
TEST(RequestReader, ChunkedBodyLimits) {
    using qv::server::Refusal;
    const int64_t limit = RequestReader::kDefaultBodyLimit;
    // Exactly the limit, in two chunks, is taken.
    RequestReader most;
    const std::string half = std::string(static_cast<size_t>(limit / 2), 'a');
    std::ostringstream sizes;
    sizes << std::hex << limit / 2;
    EXPECT_EQ(most.Feed(kChunkedHead + sizes.str() + "\r\n" + half + "\r\n" + sizes.str() + "\r\n" + half +
                        "\r\n0\r\n\r\n"),
              Status::Decided);
    EXPECT_EQ(most.request().refusal, Refusal::None);
    EXPECT_EQ(most.request().body.size(), static_cast<uint64_t>(limit));

    struct Case {
        const char* name;
        std::string wire;
    } cases[] = {
        // Refused at the size line, before the data comes.
        {"one chunk over the limit", "100001\r\n"},
        {"the largest size there is", "FFFFFFFFFFFFFFFF\r\n"},
        {"a last chunk past the limit", sizes.str() + "\r\n" + half + "\r\n" + sizes.str() + "\r\n" + half +
                                            "\r\n1\r\n"},
        {"framing without end", "1;" + std::string(static_cast<size_t>(RequestReader::kChunkFramingLimit), 'e')},
    };
    for (const Case& c : cases) {
        RequestReader reader;
        EXPECT_EQ(reader.Feed(kChunkedHead + c.wire), Status::Decided) << c.name;
        EXPECT_EQ(reader.request().refusal, Refusal::BodyTooLarge) << c.name;
        EXPECT_TRUE(reader.request().body.empty()) << c.name;
    }
    // Ended before its last chunk and its empty line: no answer.
    for (const char* wire : {"5\r\nhel", "5\r\nhello\r\n", "0\r\n", "0\r\nX: t\r\n"}) {
        EXPECT_EQ(Read({kChunkedHead + wire}).status, Status::NoAnswer) << wire;
    }
}

// A reader given another body limit (the host's upload setting) holds to it,
// by length and chunked alike; a length past the default is taken under a larger one.
TEST(RequestReader, TheBodyLimitIsTheOneItWasGiven) {
    using qv::server::Refusal;
    const int64_t larger = RequestReader::kDefaultBodyLimit * 3;
    auto ByLength = [](int64_t length) {
        return "POST /run.cgi HTTP/1.0\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n" +
               std::string(static_cast<size_t>(length), 'b');
    };
    auto Chunked = [](int64_t length) {
        std::ostringstream size;
        size << std::hex << length;
        return kChunkedHead + size.str() + "\r\n" + std::string(static_cast<size_t>(length), 'c') + "\r\n0\r\n\r\n";
    };
    const int64_t past = RequestReader::kDefaultBodyLimit + 1;
    struct Case {
        int64_t limit;
        std::string wire;
        int64_t taken;  // the body's size, or -1 for a refusal
        const char* what;
    } cases[] = {
        {10, ByLength(10), 10, "10 bytes under a limit of 10"},
        {10, ByLength(11), -1, "11 bytes under a limit of 10"},
        {10, Chunked(10), 10, "10 bytes chunked under a limit of 10"},
        {10, Chunked(11), -1, "11 bytes chunked under a limit of 10"},
        {larger, ByLength(larger), larger, "3 MiB under a limit of 3 MiB"},
        {larger, ByLength(larger + 1), -1, "a byte more than 3 MiB"},
        {larger, Chunked(past), past, "past the default, chunked"},
    };
    for (const Case& c : cases) {
        RequestReader reader(c.limit);
        EXPECT_EQ(reader.Feed(c.wire), Status::Decided) << c.what;
        EXPECT_EQ(reader.request().refusal, c.taken < 0 ? Refusal::BodyTooLarge : Refusal::None) << c.what;
        if (c.taken >= 0) {
            EXPECT_EQ(reader.request().body.size(), static_cast<uint64_t>(c.taken)) << c.what;
        }
    }
}

// "100 Continue" is for a client that asked for it on HTTP/1.1 and whose body
// will be read; a request decided at its header (refused, or whose body
// nobody reads) gets its answer instead.
TEST(RequestReader, ContinueOnlyWhenTheBodyWillBeRead) {
    struct Case {
        const char* name;
        std::string header;
        Status status;
        bool wantsContinue;
    } cases[] = {
        {"by length", "POST /run.cgi HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\n",
         Status::NotYet, true},
        {"chunked", "POST /run.cgi HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\nExpect: 100-Continue\r\n\r\n",
         Status::NotYet, true},
        {"not asked", "POST /run.cgi HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\n\r\n", Status::NotYet, false},
        {"another expectation", "POST /run.cgi HTTP/1.1\r\nHost: h\r\nExpect: 100-continued\r\nContent-Length: 5\r\n\r\n",
         Status::NotYet, false},
        {"HTTP/1.0", "POST /run.cgi HTTP/1.0\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\n", Status::NotYet,
         false},
        {"a body line without a length", "POST /run.cgi HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\n\r\n",
         Status::NotYet, false},
        {"over the limit", "POST /run.cgi HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 1048577\r\n\r\n",
         Status::Decided, false},
        {"to a file", "POST /form.htm HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\n",
         Status::Decided, false},
        {"no body at all", "POST /run.cgi HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 0\r\n\r\n",
         Status::Decided, false},
    };
    for (const Case& c : cases) {
        RequestReader reader;
        const std::string head = c.header.substr(0, c.header.size() - 2);
        EXPECT_EQ(reader.Feed(head), Status::NotYet) << c.name;
        // Not before the header is in.
        EXPECT_FALSE(reader.WantsContinue()) << c.name;
        EXPECT_EQ(reader.Feed("\r\n"), c.status) << c.name;
        EXPECT_EQ(reader.WantsContinue(), c.wantsContinue) << c.name;
    }
    // Once the body is in, no more.
    RequestReader reader;
    reader.Feed(cases[0].header);
    EXPECT_EQ(reader.Feed("12345"), Status::Decided);
    EXPECT_FALSE(reader.WantsContinue());
}

}  // namespace

namespace {

// What follows a decided request on the same connection: kept as the next
// request's start where the request's end can be told, else dropped.
TEST(RequestReaderAhead, TheNextRequestStartsAtTheRightByte) {
    const std::string next = "GET /next.htm HTTP/1.1\r\nHost: h\r\n\r\n";
    struct Case {
        const char* name;
        std::string request;  // one request, as sent
        bool program;         // POST to a program: its body is read
        bool endKnown;
        std::string ahead;    // what the reader keeps of `next` sent right after
    } cases[] = {
        {"a GET", "GET /a.htm HTTP/1.1\r\nHost: h\r\n\r\n", false, true, next},
        {"lines ended by LF alone", "GET /a.htm HTTP/1.1\nHost: h\n\n", false, true, next},
        {"a body by its length, read", "POST /p.exe HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\n\r\nhello", true, true,
         next},
        {"a chunked body, read", "POST /p.exe HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
         true, true, next},
        {"a body nobody reads, dropped", "POST /a.htm HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\n\r\nhello", false, true,
         next},
        {"a body line without a length", "POST /p.exe HTTP/1.0\r\n\r\nq=1\r\n", true, false, ""},
        {"a chunked body nobody reads", "POST /a.htm HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
         false, false, ""},
        {"an unread body its client holds back",
         "POST /a.htm HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\n", false, false, ""},
        {"an unread body too long to drop", "POST /a.htm HTTP/1.1\r\nHost: h\r\nContent-Length: 65537\r\n\r\n", false,
         false, ""},
        {"a refusal", "GET /a.htm HTTP/1.1\r\n\r\n", false, false, ""},
        {"an empty line first", "\r\n\r\n", false, false, ""},
    };
    for (const Case& c : cases) {
        const std::string all = c.request + next;
        // At once, and byte by byte.
        for (size_t step : {all.size(), size_t{1}}) {
            RequestReader reader;
            for (size_t at = 0; at < all.size(); at += step) reader.Feed(all.substr(at, step));
            EXPECT_EQ(reader.status(), Status::Decided) << c.name;
            EXPECT_EQ(reader.endKnown(), c.endKnown) << c.name << " step " << step;
            EXPECT_EQ(reader.ahead(), c.ahead) << c.name << " step " << step;
            if (c.program) {
                EXPECT_NE(reader.request().cgiFlag, 0) << c.name;
            }
        }
    }
}

// The reader after a kept request: the rest of a dropped body is skipped
// first, then line ends before the request line.
TEST(RequestReaderAhead, TheFollowingReaderSkipsWhatIsLeftOfTheLastRequest) {
    RequestReader first;
    first.Feed("POST /a.htm HTTP/1.1\r\nHost: h\r\nContent-Length: 11\r\n\r\nhel");
    ASSERT_TRUE(first.endKnown());
    EXPECT_EQ(first.dropLeft(), 8u);
    RequestReader next = first.Following();
    EXPECT_EQ(next.Feed("lo world\r\n\r\nGET /b.htm HTTP/1.1\r\nHost: h\r\n"), Status::NotYet);
    EXPECT_EQ(next.Feed("\r\n"), Status::Decided);
    EXPECT_EQ(next.request().url, "/b.htm");
    EXPECT_EQ(next.request().refusal, qv::server::Refusal::None);
    // A first request is never read past an empty line that way.
    EXPECT_EQ(Read({"\r\nGET /b.htm HTTP/1.1\r\nHost: h\r\n\r\n"}).request.url, "");
}

}  // namespace
