#include "crypto/text_cipher.h"

#include <cstring>

#include "crypto/xtea.h"

namespace qv::crypto {

namespace {

enum class Direction { Encipher, Decipher };

void EachBlock(const char* text, size_t size, const std::string& keyText, char* out, Direction direction) {
    const size_t padded = PaddedSize(size);
    if (padded == 0) return;
    uint32_t key[4];
    KeyFromText(keyText, key);
    const XteaSchedule schedule(key, kTextCycles);
    // The text is copied to `out` and worked on in place; a short last block
    // is filled with spaces first.
    if (size > 0) std::memmove(out, text, size);
    std::memset(out + size, ' ', padded - size);
    auto* blocks = reinterpret_cast<uint8_t*>(out);
    if (direction == Direction::Encipher) {
        schedule.Encipher(blocks, blocks, padded / 8);
    } else {
        schedule.Decipher(blocks, blocks, padded / 8);
    }
}

std::string EachBlock(const std::string& text, const std::string& keyText, Direction direction) {
    std::string result(PaddedSize(text.size()), '\0');
    if (!result.empty()) EachBlock(text.data(), text.size(), keyText, &result[0], direction);
    return result;
}

}  // namespace

void KeyFromText(const std::string& keyText, uint32_t key[4]) {
    // The key text ends at its first zero byte.
    size_t length = 0;
    while (length < keyText.size() && length < 16 && keyText[length] != '\0') ++length;
    uint8_t block[16];
    std::memset(block, ' ', sizeof block);
    std::memcpy(block, keyText.data(), length);
    for (int i = 0; i < 4; ++i) key[i] = LoadWord(block + 4 * i);
}

size_t PaddedSize(size_t size) { return size + (8 - size % 8) % 8; }

void EncipherInto(const char* text, size_t size, const std::string& keyText, char* out) {
    EachBlock(text, size, keyText, out, Direction::Encipher);
}

void DecipherInto(const char* text, size_t size, const std::string& keyText, char* out) {
    EachBlock(text, size, keyText, out, Direction::Decipher);
}

std::string EncipherText(const std::string& text, const std::string& keyText) {
    return EachBlock(text, keyText, Direction::Encipher);
}

std::string DecipherText(const std::string& text, const std::string& keyText) {
    return EachBlock(text, keyText, Direction::Decipher);
}

}  // namespace qv::crypto
