// Byte strings enciphered 8 bytes at a time (each block on its own), the
// short last block filled with spaces, under a key made from a key text.
#pragma once

#include <cstdint>
#include <string>

namespace qv::crypto {

// The number of cycles the text operations run.
constexpr uint32_t kTextCycles = 32;

// The four key words of `keyText`, which ends at its first zero byte: its
// first 16 bytes, or the whole text followed by spaces up to 16 bytes, read
// as little-endian words.
void KeyFromText(const std::string& keyText, uint32_t key[4]);

// 8 * ceil(size / 8) cipher bytes; empty for an empty text.
std::string EncipherText(const std::string& text, const std::string& keyText);
// The same block by block in reverse; padding spaces are not removed.
std::string DecipherText(const std::string& text, const std::string& keyText);

// The same, written straight to `out`, which holds PaddedSize(size) bytes
// (the caller's own buffer: no copy of a long text on the way).
size_t PaddedSize(size_t size);
void EncipherInto(const char* text, size_t size, const std::string& keyText, char* out);
void DecipherInto(const char* text, size_t size, const std::string& keyText, char* out);

}  // namespace qv::crypto
