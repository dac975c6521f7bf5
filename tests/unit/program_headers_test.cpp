// A program's header block: when output starts with one, what it says, and
// the answer's header made from it.
#include <gtest/gtest.h>

#include <string>

#include "content/program_output.h"

namespace {

using qv::content::kProgramHeaderLimit;
using qv::content::ProgramAnswerHeader;
using qv::content::ProgramHeaders;
using qv::content::ReadProgramHeaders;
using Kind = ProgramHeaders::Kind;

const char* KindName(Kind kind) {
    switch (kind) {
    case Kind::Page:
        return "page";
    case Kind::Headers:
        return "headers";
    case Kind::Malformed:
        return "malformed";
    }
    return "?";
}

TEST(ProgramHeaders, WhatStartsABlock) {
    struct Case {
        const char* what;
        std::string output;
        Kind kind;
    } cases[] = {
        {"a page", "<html>\n\n</html>", Kind::Page},
        {"nothing", "", Kind::Page},
        {"an empty first line", "\nStatus: 200\n\n", Kind::Page},
        {"no empty line", "Content-Type: text/plain\nbody\n", Kind::Page},
        {"no line end at all", "Status: 302 Found", Kind::Page},
        {"another field first", "Set-Cookie: a=1\nStatus: 302 Found\n\n", Kind::Page},
        {"a blank before the colon", "Status : 200\n\n", Kind::Page},
        {"a status that is no number", "Status: OK\n\n", Kind::Page},
        {"a status below 200", "Status: 101 Switching Protocols\n\n", Kind::Page},
        {"a status above 599", "Status: 600\n\n", Kind::Page},
        {"a status with more digits", "Status: 2000\n\n", Kind::Page},
        {"a type without a subtype", "Content-Type: text\n\n", Kind::Page},
        {"a type that is words", "Content-Type: all of it / really\n\n", Kind::Page},
        {"a location with blanks", "Location: over the hills\n\n", Kind::Page},
        {"an empty location", "Location:\n\n", Kind::Page},
        {"a control byte in the first line", "Status: 302 Fo\x01und\n\n", Kind::Page},
        {"status", "Status: 302 Found\n\n", Kind::Headers},
        {"type, letter case ignored", "CONTENT-TYPE: text/html; charset=utf-8\r\n\r\n", Kind::Headers},
        {"location", "location: https://example.test/a?b=c\n\n", Kind::Headers},
        {"a local location", "Location: /page.htm\n\n", Kind::Headers},
        {"a later line with a control byte", "Status: 200\nX-A: 1\x7f\n\n", Kind::Malformed},
        {"a CR inside a line", "Status: 200\nX-A: 1\rX-B: 2\n\n", Kind::Malformed},
        {"a folded line", "Status: 200\nX-A: 1\n\t2\n\n", Kind::Malformed},
        {"a line without a colon", "Status: 200\nX-A\n\n", Kind::Malformed},
        {"a name with a blank", "Status: 200\nX A: 1\n\n", Kind::Malformed},
        {"a second status", "Status: 200\nStatus: 404\n\n", Kind::Malformed},
        {"a second type", "Content-Type: text/plain\nContent-Type: text/html\n\n", Kind::Malformed},
        {"a second location", "Location: /a\nLocation: /b\n\n", Kind::Malformed},
        {"a bad status later", "Content-Type: text/plain\nStatus: 1\n\n", Kind::Malformed},
        {"a bad type later", "Status: 200\nContent-Type: nothing\n\n", Kind::Malformed},
        // A bad line counts only in a block that ends.
        {"a bad line and no empty line", "Status: 200\nX A: 1\n", Kind::Page},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(KindName(ReadProgramHeaders(c.output).kind), KindName(c.kind)) << c.what;
    }
}

TEST(ProgramHeaders, WhatABlockSays) {
    const ProgramHeaders headers = ReadProgramHeaders(
        "Status:  302   Moved for now \r\nLocation: http://h/x\r\nSet-Cookie: a=1; Path=/\nset-cookie: b=2\n"
        "Content-Length: 99\nConnection: close\nTransfer-Encoding: chunked\nServer: x\nDate: today\n"
        "Keep-Alive: 1\nAccept-Ranges: none\nUpgrade: h2c\nTE: trailers\nTrailer: X\nProxy-Connection: close\n"
        "X-Tab:\tvalue\twith tab\t\nContent-Type: text/plain\n\r\nthe body\n");
    ASSERT_EQ(headers.kind, Kind::Headers);
    EXPECT_EQ(headers.status, 302);
    EXPECT_EQ(headers.reason, "Moved for now");
    EXPECT_EQ(headers.location, "http://h/x");
    EXPECT_EQ(headers.contentType, "text/plain");
    // The program's own fields in its order; the server's own left out.
    EXPECT_EQ(headers.fields, "Set-Cookie: a=1; Path=/\r\nset-cookie: b=2\r\nX-Tab: value\twith tab\r\n");
    const std::string output = "Status: 200\nX: 1\n\nbody";
    EXPECT_EQ(ReadProgramHeaders(output).bodyOffset, output.find("body"));
}

// The empty line must end within the first 16 KiB.
TEST(ProgramHeaders, BlockLimit) {
    for (size_t extra : {size_t{0}, size_t{1}}) {
        const std::string first = "Content-Type: text/plain\n";
        const std::string filler = "X-Fill: ";
        // A block whose empty line's LF is the limit's last byte, or one byte past it.
        const size_t fill = kProgramHeaderLimit - first.size() - filler.size() - 2 + extra;
        const std::string output = first + filler + std::string(fill, 'f') + "\n\nbody";
        const ProgramHeaders headers = ReadProgramHeaders(output.substr(0, kProgramHeaderLimit));
        EXPECT_EQ(headers.kind, extra == 0 ? Kind::Headers : Kind::Page) << extra;
        if (extra == 0) {
            EXPECT_EQ(headers.bodyOffset, kProgramHeaderLimit);
        }
    }
}

TEST(ProgramHeaders, AnswerHeader) {
    struct Case {
        const char* what;
        std::string output;
        uint64_t length;
        std::string header;
        bool body;
    } cases[] = {
        {"type alone", "Content-Type: application/json\n\n", 7,
         "HTTP/1.0 200 OK\r\nServer: Quorvex Version 1.0\r\nContent-Type: application/json\r\n"
         "Content-Length: 7\r\n\r\n",
         true},
        {"location alone", "Location: /next\n\n", 0,
         "HTTP/1.0 302 Found\r\nServer: Quorvex Version 1.0\r\nContent-Type: text/html\r\nContent-Length: 0\r\n"
         "Location: /next\r\n\r\n",
         true},
        {"status with location", "Status: 303\nLocation: /next\nSet-Cookie: s=1\n\n", 2,
         "HTTP/1.0 303 See Other\r\nServer: Quorvex Version 1.0\r\nContent-Type: text/html\r\nContent-Length: 2\r\n"
         "Location: /next\r\nSet-Cookie: s=1\r\n\r\n",
         true},
        {"a code without a known reason", "Status: 299\n\n", 0,
         "HTTP/1.0 299 \r\nServer: Quorvex Version 1.0\r\nContent-Type: text/html\r\nContent-Length: 0\r\n\r\n", true},
        {"no content", "Status: 204\nX: 1\n\n", 5,
         "HTTP/1.0 204 No Content\r\nServer: Quorvex Version 1.0\r\nX: 1\r\n\r\n", false},
        {"not modified with its type", "Status: 304\nContent-Type: text/css\n\n", 5,
         "HTTP/1.0 304 Not Modified\r\nServer: Quorvex Version 1.0\r\nContent-Type: text/css\r\n\r\n", false},
    };
    for (const Case& c : cases) {
        const ProgramHeaders headers = ReadProgramHeaders(c.output);
        ASSERT_EQ(headers.kind, Kind::Headers) << c.what;
        bool body = !c.body;
        EXPECT_EQ(ProgramAnswerHeader(headers, "text/html", c.length, body), c.header) << c.what;
        EXPECT_EQ(body, c.body) << c.what;
    }
}

}  // namespace
