// A burst of clients before the server gets to accept any of them, and files
// larger than the server reads whole: every byte as for a small file.
#include <gtest/gtest.h>

#include <string>

#include "pending_connections.h"
#include "server_fixture.h"

namespace qvtest {
namespace {

using ServerBurstTest = ServerFixture;
using ServerLargeFileTest = ServerFixture;

// The listening queue takes a whole burst while the host is busy elsewhere:
// no connection waits for the client's SYN to be retried.
TEST_F(ServerBurstTest, QueueHoldsABurstWhileNothingIsAccepted) {
    const int burst = 48;  // far above a queue of a handful, below select's limit
    EXPECT_EQ(EstablishedOfBurst(ServerAddress(), port_, burst, 5000), burst);
    // The server still answers after the closed burst is drained.
    EXPECT_EQ(Get("/missing.htm").substr(0, 22), "HTTP/1.0 404 Not Found");
}

// Bytes that show a shifted, lost or repeated piece.
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 2463534242u;
    for (size_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = static_cast<char>(state);
    }
    return bytes;
}

TEST_F(ServerLargeFileTest, ServedByteForByte) {
    const size_t sizes[] = {
        4u << 20,             // the largest size still read whole
        (4u << 20) + 1,       // the smallest sent in pieces
        (20u << 20) + 12345,  // many pieces, the last one short
    };
    for (size_t size : sizes) {
        const std::string body = Pattern(size);
        WriteFile(root_ / "docs" / "large.jpg", body);
        const std::string answer = Get("/large.jpg");
        const std::string expected = Head("HTTP/1.0 200 OK", "image/jpeg", size) + body + "\r\n\r\n";
        EXPECT_EQ(answer.size(), expected.size()) << size;
        EXPECT_TRUE(answer == expected) << "bytes differ for a file of " << size;
    }
}

}  // namespace
}  // namespace qvtest
