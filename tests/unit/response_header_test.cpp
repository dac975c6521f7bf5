// The header block in front of 200 answers.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "content/response_header.h"

namespace {

struct HeaderCase {
    const char* type;
    uint64_t length;
    const char* lengthDigits;
};

TEST(BuildResponseHeader, ExactBytes) {
    const HeaderCase cases[] = {
        {"text/html", 2048, "2048"},
        {"image/gif", 7, "7"},
        {"application/octet-stream", 2147483647u, "2147483647"},
        // Files beyond 2 GiB keep their true length.
        {"application/octet-stream", 5000000000ull, "5000000000"},
    };
    for (const HeaderCase& c : cases) {
        const std::string expected = std::string("HTTP/1.0 200 OK\r\n") +
                                     "Server: Quorvex Version 1.0\r\n" + "Content-Type: " + c.type +
                                     "\r\n" + "Accept-Ranges: bytes\r\n" + "Content-Length: " +
                                     c.lengthDigits + "\r\n\r\n";
        EXPECT_EQ(qv::content::BuildResponseHeader(c.type, c.length), expected) << c.length;
    }
}

TEST(BuildResponseHeader, ZeroLengthLiteral) {
    EXPECT_EQ(qv::content::BuildResponseHeader("text/html", 0),
              "HTTP/1.0 200 OK\r\nServer: Quorvex Version 1.0\r\nContent-Type: text/html\r\n"
              "Accept-Ranges: bytes\r\nContent-Length: 0\r\n\r\n");
}

}  // namespace
