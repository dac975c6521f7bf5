#include "server/file_pieces.h"

#include <algorithm>


namespace qv::server {

bool SendFileInPieces(const std::string& head, uint64_t size, const std::string& tail, const PieceReader& read,
                      const PieceSender& send) {
    // The header travels with the first piece, the closing bytes with the last.
    std::string piece = head;
    const size_t headerSize = piece.size();
    uint64_t offset = 0;
    for (;;) {
        const size_t start = offset == 0 ? headerSize : 0;
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(kFilePieceSize, size - offset));
        piece.resize(start + wanted);
        size_t filled = 0;
        while (filled < wanted) {
            long got = read(offset + filled, &piece[start + filled], wanted - filled);
            if (got <= 0) break;
            filled += static_cast<size_t>(got);
        }
        piece.resize(start + filled);
        offset += filled;
        const bool complete = offset == size;
        if (complete) piece += tail;
        if (!piece.empty() && !send(piece)) return false;
        if (complete) return true;
        if (filled < wanted) return false;  // the file shrank or could not be read
    }
}

}  // namespace qv::server
