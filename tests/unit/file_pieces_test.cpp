// Sending a file in pieces: the length promised, the bytes in order, and the
// answer cut short (never padded or repeated) when the file or the peer fails.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "content/response_header.h"
#include "server/file_pieces.h"

namespace {

using qv::server::SendFileInPieces;

// A file of `size` bytes that ends early at `endsAt` (or fails there when
// `failsThere`); records what reached the peer.
struct FakeTransfer {
    uint64_t size = 0;
    uint64_t endsAt = UINT64_MAX;
    bool failsThere = false;
    uint64_t peerRefusesAfter = UINT64_MAX;  // sends accepted before the peer goes

    std::string firstPiece;  // the opening bytes, header included
    std::string lastPiece;
    uint64_t bytesSent = 0;
    uint64_t sends = 0;
    uint64_t nextOffset = 0;
    bool inOrder = true;

    bool Run() {
        return SendFileInPieces(
            qv::content::BuildResponseHeader("image/jpeg", size), size, "\r\n\r\n",
            [&](uint64_t offset, char* buffer, size_t count) -> long {
                if (offset != nextOffset) inOrder = false;
                if (offset >= endsAt) return failsThere ? -1 : 0;
                if (offset + count > endsAt) count = static_cast<size_t>(endsAt - offset);
                (void)buffer;  // only the arithmetic is checked here
                nextOffset = offset + count;
                return static_cast<long>(count);
            },
            [&](const std::string& bytes) {
                if (sends == peerRefusesAfter) return false;
                if (sends == 0) firstPiece = bytes;
                lastPiece = bytes;
                ++sends;
                bytesSent += bytes.size();
                return true;
            });
    }
};

TEST(SendFileInPieces, LengthsBeyondThirtyOneBits) {
    // Offsets past 2^31 and 2^32 stay right, also where size_t has 32 bits.
    const uint64_t sizes[] = {2147483648ull, 4294967296ull + 7, 5000000000ull};
    for (uint64_t size : sizes) {
        FakeTransfer t;
        t.size = size;
        ASSERT_TRUE(t.Run()) << size;
        const std::string header = qv::content::BuildResponseHeader("image/jpeg", size);
        EXPECT_EQ(t.firstPiece.compare(0, header.size(), header), 0) << size;
        EXPECT_NE(header.find("Content-Length: " + std::to_string(size) + "\r\n"), std::string::npos);
        EXPECT_EQ(t.bytesSent, header.size() + size + 4) << size;
        EXPECT_TRUE(t.inOrder) << size;
        EXPECT_EQ(t.lastPiece.substr(t.lastPiece.size() - 4), "\r\n\r\n") << size;
    }
}

TEST(SendFileInPieces, BytesArriveInOrderWithTheClosingLines) {
    const uint64_t sizes[] = {0, 1, qv::server::kFilePieceSize, qv::server::kFilePieceSize * 3 + 17};
    for (uint64_t size : sizes) {
        std::string wire;
        std::string header = qv::content::BuildResponseHeader("image/jpeg", size);
        bool done = SendFileInPieces(
            header, size, "\r\n\r\n",
            [](uint64_t offset, char* buffer, size_t count) -> long {
                for (size_t i = 0; i < count; ++i) buffer[i] = static_cast<char>((offset + i) % 251);
                return static_cast<long>(count);
            },
            [&](const std::string& bytes) {
                wire += bytes;
                return true;
            });
        ASSERT_TRUE(done) << size;
        std::string body(static_cast<size_t>(size), '\0');
        for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i % 251);
        EXPECT_TRUE(wire == header + body + "\r\n\r\n") << size;
    }
}

TEST(SendFileInPieces, FailuresCutTheAnswerShort) {
    const uint64_t piece = qv::server::kFilePieceSize;
    struct Case {
        const char* what;
        uint64_t endsAt;
        bool failsThere;
        uint64_t peerRefusesAfter;
        uint64_t bodyBytesSent;
    };
    const Case cases[] = {
        {"file shrank mid-piece", 2 * piece + 5, false, UINT64_MAX, 2 * piece + 5},
        {"file shrank at a piece end", piece, false, UINT64_MAX, piece},
        {"read fails at once", 0, true, UINT64_MAX, 0},
        {"read fails later", piece, true, UINT64_MAX, piece},
        {"peer gone after two sends", UINT64_MAX, false, 2, 2 * piece},
    };
    for (const Case& c : cases) {
        FakeTransfer t;
        t.size = 5 * piece;
        t.endsAt = c.endsAt;
        t.failsThere = c.failsThere;
        t.peerRefusesAfter = c.peerRefusesAfter;
        EXPECT_FALSE(t.Run()) << c.what;
        const uint64_t header = qv::content::BuildResponseHeader("image/jpeg", t.size).size();
        // The header and the bytes read, without the closing lines of a complete answer.
        EXPECT_EQ(t.bytesSent, header + c.bodyBytesSent) << c.what;
        // Nothing after the peer refused: the reads stopped too.
        if (c.peerRefusesAfter != UINT64_MAX) {
            EXPECT_EQ(t.sends, c.peerRefusesAfter) << c.what;
        }
    }
}

}  // namespace
