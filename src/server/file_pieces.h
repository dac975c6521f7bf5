// Sending a file too large to hold in memory: the same bytes as the whole-file
// answer (header, body, CR LF, CR LF) go out piece by piece, so memory stays
// at one piece whatever the file's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace qv::server {

// Files up to this size are read whole and sent with one call.
constexpr uint64_t kWholeFileLimit = uint64_t{4} << 20;
constexpr size_t kFilePieceSize = size_t{1} << 20;

// Reads up to `size` bytes at `offset`: the count read, 0 at the end, -1 on failure.
using PieceReader = std::function<long(uint64_t offset, char* buffer, size_t size)>;
// Sends the bytes; false when the connection failed.
using PieceSender = std::function<bool(const std::string& bytes)>;

// Sends `head`, `size` bytes of content, then `tail`. False when a read or a
// send failed or the file ended early: the answer is then cut short and the
// caller just closes the connection, since its length was already promised.
bool SendFileInPieces(const std::string& head, uint64_t size, const std::string& tail, const PieceReader& read,
                      const PieceSender& send);

}  // namespace qv::server
