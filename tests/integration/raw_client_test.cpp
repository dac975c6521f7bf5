// The tests' own raw client, checked against the recording server so that a
// fault in it is not mistaken for a fault of the library's server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "raw_client.h"
#include "recording_server.h"

namespace {

TEST(RawClient, PiecesJoinBackIntoTheText) {
    struct Case {
        std::string text;
        int count;
        size_t expectedPieces;
    };
    const std::vector<Case> cases = {
        {"GET / HTTP/1.0\r\n\r\n", 3, 3}, {"abcdefghij", 4, 4}, {"ab", 5, 5},
        {"", 2, 2},                       {"whole", 1, 1},      {"whole", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " in " + std::to_string(c.count));
        const std::vector<std::string> pieces = qvtest::SplitIntoPieces(c.text, c.count);
        ASSERT_EQ(pieces.size(), c.expectedPieces);
        std::string joined;
        size_t shortest = c.text.size(), longest = 0;
        for (const std::string& piece : pieces) {
            joined += piece;
            shortest = std::min(shortest, piece.size());
            longest = std::max(longest, piece.size());
        }
        EXPECT_EQ(joined, c.text);
        EXPECT_LE(longest - shortest, 1u);
    }
}

TEST(RawClient, RequestArrivesWholeAndAnswerIsReadToTheClose) {
    struct Case {
        int pieces;
        int pauseMs;
    };
    const std::string request = "GET /raw/client?x=1 HTTP/1.0\r\nHost: here\r\nUser-Agent: raw\r\n\r\n";
    for (const Case& c : std::vector<Case>{{1, 0}, {3, 30}, {static_cast<int>(request.size()), 1}}) {
        SCOPED_TRACE("pieces " + std::to_string(c.pieces));
        qvtest::RecordingServerAnswer answer;
        answer.body = std::string(20000, 'b') + "end";  // more than one read of the client
        qvtest::RecordingServer server(answer);
        ASSERT_TRUE(server.Listening());

        const qvtest::Exchange exchange = qvtest::Talk("127.0.0.1", server.Port(), request, 10000, c.pieces, c.pauseMs);
        EXPECT_TRUE(exchange.connected);
        EXPECT_TRUE(exchange.closedByServer);
        EXPECT_NE(exchange.localPort, 0);
        EXPECT_EQ(exchange.received.rfind("HTTP/1.1 200", 0), 0u) << exchange.received.substr(0, 80);
        EXPECT_EQ(exchange.received.substr(exchange.received.size() - answer.body.size()), answer.body);

        const std::vector<qvtest::RecordedRequest> seen = server.Requests();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].bytes, request);
    }
}

TEST(RawClient, RefusedConnectionIsReportedAsNotConnected) {
    const qvtest::Exchange exchange = qvtest::Talk("127.0.0.1", qvtest::RefusingPort(), "GET / HTTP/1.0\r\n\r\n", 2000);
    EXPECT_FALSE(exchange.connected);
    EXPECT_TRUE(exchange.received.empty());
}

TEST(RawClient, ServerAddressIsADottedIPv4Address) {
    const std::string address = qvtest::ServerAddress();
    int octets[4] = {-1, -1, -1, -1};
    char tail = 0;
    ASSERT_EQ(std::sscanf(address.c_str(), "%d.%d.%d.%d%c", &octets[0], &octets[1], &octets[2], &octets[3], &tail), 4)
        << address;
    for (int octet : octets) EXPECT_TRUE(octet >= 0 && octet <= 255) << address;
}

}  // namespace
