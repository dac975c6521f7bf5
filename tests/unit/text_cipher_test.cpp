// Texts enciphered block by block under a key text.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "crypto/text_cipher.h"
#include "crypto/xtea.h"

namespace {

using namespace std::string_literals;
using qv::crypto::DecipherText;
using qv::crypto::EncipherText;

// Bytes of every value, so zero bytes and high bytes are part of the data.
std::string SampleText(size_t length) {
    std::string text(length, '\0');
    for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>((i * 37 + 11) % 256);
    return text;
}

std::string Padded(std::string text) {
    while (text.size() % 8 != 0) text += ' ';
    return text;
}

// The reference: one EncipherBlock / DecipherBlock call per block.
std::string BlockByBlock(const std::string& text, const std::string& keyText, bool encipher) {
    uint32_t key[4];
    qv::crypto::KeyFromText(keyText, key);
    const std::string padded = Padded(text);
    std::string out(padded.size(), '\0');
    for (size_t at = 0; at < padded.size(); at += 8) {
        const auto* in = reinterpret_cast<const uint8_t*>(padded.data() + at);
        auto* to = reinterpret_cast<uint8_t*>(&out[at]);
        if (encipher) {
            qv::crypto::EncipherBlock(in, to, key, 32);
        } else {
            qv::crypto::DecipherBlock(in, to, key, 32);
        }
    }
    return out;
}

TEST(TextCipher, ResultLengthIsWholeBlocks) {
    const std::pair<size_t, size_t> cases[] = {{0, 0}, {1, 8}, {7, 8}, {8, 8}, {9, 16}, {16, 16}, {17, 24}, {1000, 1000}, {1001, 1008}};
    for (const auto& c : cases) {
        EXPECT_EQ(EncipherText(SampleText(c.first), "key").size(), c.second) << c.first;
        EXPECT_EQ(DecipherText(SampleText(c.first), "key").size(), c.second) << c.first;
    }
}

TEST(TextCipher, MatchesTheBlockOperationsAtEveryLength) {
    // Lengths around the multi-block paths and the padded tail.
    for (size_t length = 0; length <= 80; ++length) {
        const std::string text = SampleText(length);
        EXPECT_EQ(EncipherText(text, "Secret key text!"), BlockByBlock(text, "Secret key text!", true))
            << length;
        EXPECT_EQ(DecipherText(text, "k"), BlockByBlock(text, "k", false)) << length;
    }
}

TEST(TextCipher, RoundTripKeepsThePaddingSpaces) {
    for (size_t length : {0, 1, 5, 8, 13, 31, 32, 33, 4099}) {
        const std::string text = SampleText(length);
        const std::string cipher = EncipherText(text, "pass");
        if (length >= 8) {
            EXPECT_NE(cipher.substr(0, 8), text.substr(0, 8)) << length;
        }
        EXPECT_EQ(DecipherText(cipher, "pass"), Padded(text)) << length;
        if (length > 0) {
            EXPECT_NE(DecipherText(cipher, "pasS"), Padded(text)) << length;
        }
    }
}

TEST(TextCipher, KeyBlockRules) {
    const std::string text = SampleText(24);
    const std::string withSpaces = EncipherText(text, "short           ");
    EXPECT_EQ(EncipherText(text, "short"), withSpaces);
    EXPECT_NE(EncipherText(text, "short\t"), withSpaces);
    // Only the first 16 bytes count.
    EXPECT_EQ(EncipherText(text, "0123456789abcdefXYZ"), EncipherText(text, "0123456789abcdef"));
    EXPECT_NE(EncipherText(text, "0123456789abcdeF"), EncipherText(text, "0123456789abcdef"));
    // An empty key is sixteen spaces.
    EXPECT_EQ(EncipherText(text, ""), EncipherText(text, std::string(16, ' ')));
    // A zero byte ends the key text.
    EXPECT_EQ(EncipherText(text, "abc\0xyz"s), EncipherText(text, "abc"));

    uint32_t key[4];
    qv::crypto::KeyFromText("ABCDEFG", key);
    EXPECT_EQ(key[0], 0x44434241u);
    EXPECT_EQ(key[1], 0x20474645u);
    EXPECT_EQ(key[2], 0x20202020u);
    EXPECT_EQ(key[3], 0x20202020u);
}

TEST(TextCipher, BlocksAreIndependent) {
    const std::string block = "SameText";
    const std::string cipher = EncipherText(block + "Other..." + block, "k");
    EXPECT_EQ(cipher.substr(0, 8), cipher.substr(16, 8));
    EXPECT_NE(cipher.substr(0, 8), cipher.substr(8, 8));

    std::string text = SampleText(40);
    const std::string before = EncipherText(text, "k");
    text[19] = static_cast<char>(text[19] ^ 0x01);
    const std::string after = EncipherText(text, "k");
    for (size_t at = 0; at < 40; at += 8) {
        if (at == 16) {
            EXPECT_NE(before.substr(at, 8), after.substr(at, 8));
        } else {
            EXPECT_EQ(before.substr(at, 8), after.substr(at, 8)) << at;
        }
    }
}

TEST(TextCipher, ZeroBytesAreData) {
    // A tail of zero bytes is padded with spaces, not mistaken for padding.
    EXPECT_NE(EncipherText("ab\0\0"s, "k"), EncipherText("ab", "k"));
    EXPECT_EQ(EncipherText("ab      ", "k"), EncipherText("ab", "k"));
    EXPECT_EQ(DecipherText(EncipherText("\0\0\0"s, "k"), "k"), "\0\0\0     "s);
}

}  // namespace
