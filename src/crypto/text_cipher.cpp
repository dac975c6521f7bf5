#include "crypto/text_cipher.h"

#include <cstring>

#include "crypto/xtea.h"

namespace qv::crypto {

namespace {

enum class Direction { Encipher, Decipher };

std::string EachBlock(const std::string& text, const std::string& keyText, Direction direction) {
    uint32_t key[4];
    KeyFromText(keyText, key);
    const XteaSchedule schedule(key, kTextCycles);
    const size_t whole = text.size() / 8;
    const size_t tail = text.size() % 8;
    std::string result;
    result.resize(8 * whole + (tail != 0 ? 8 : 0));
    if (result.empty()) return result;

    // The text is copied into the result and worked on in place; a short
    // last block is filled with spaces first.
    std::memset(&result[0], ' ', result.size());
    std::memcpy(&result[0], text.data(), text.size());
    auto* blocks = reinterpret_cast<uint8_t*>(&result[0]);
    const size_t count = result.size() / 8;
    if (direction == Direction::Encipher) {
        schedule.Encipher(blocks, blocks, count);
    } else {
        schedule.Decipher(blocks, blocks, count);
    }
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

std::string EncipherText(const std::string& text, const std::string& keyText) {
    return EachBlock(text, keyText, Direction::Encipher);
}

std::string DecipherText(const std::string& text, const std::string& keyText) {
    return EachBlock(text, keyText, Direction::Decipher);
}

}  // namespace qv::crypto
