// The XTEA block operations.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "crypto/xtea.h"

namespace {

using qv::crypto::DecipherBlock;
using qv::crypto::EncipherBlock;

// The published vector lists its words big-endian; this cipher reads words
// little-endian, so each 4-byte group is turned around.
std::vector<uint8_t> SwapWords(std::vector<uint8_t> bytes) {
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        std::swap(bytes[i], bytes[i + 3]);
        std::swap(bytes[i + 1], bytes[i + 2]);
    }
    return bytes;
}

void KeyOf(const std::vector<uint8_t>& bytes, uint32_t key[4]) {
    for (int i = 0; i < 4; ++i) key[i] = qv::crypto::LoadWord(bytes.data() + 4 * i);
}

TEST(Xtea, PublishedVector) {
    const std::vector<uint8_t> keyBytes = SwapWords({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                                     0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f});
    const std::vector<uint8_t> plain = SwapWords({0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48});
    const std::vector<uint8_t> cipher = SwapWords({0x49, 0x7d, 0xf3, 0xd0, 0x72, 0x61, 0x2c, 0xb5});
    uint32_t key[4];
    KeyOf(keyBytes, key);

    uint8_t out[8];
    EncipherBlock(plain.data(), out, key, 32);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), cipher);
    DecipherBlock(cipher.data(), out, key, 32);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), plain);
}

TEST(Xtea, WordsAreLittleEndian) {
    const uint8_t bytes[4] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(qv::crypto::LoadWord(bytes), 0x12345678u);
    uint8_t back[4];
    qv::crypto::StoreWord(0xA1B2C3D4u, back);
    const uint8_t expected[4] = {0xD4, 0xC3, 0xB2, 0xA1};
    EXPECT_EQ(std::memcmp(back, expected, 4), 0);
}

TEST(Xtea, ZeroCyclesCopiesTheBlock) {
    const uint32_t key[4] = {1, 2, 3, 4};
    const uint8_t in[8] = {9, 8, 7, 6, 5, 4, 3, 2};
    uint8_t out[8] = {};
    EncipherBlock(in, out, key, 0);
    EXPECT_EQ(std::memcmp(in, out, 8), 0);
    std::memset(out, 0, 8);
    DecipherBlock(in, out, key, 0);
    EXPECT_EQ(std::memcmp(in, out, 8), 0);
}

TEST(Xtea, DecipherUndoesEncipherForAnyCycleCount) {
    const uint32_t key[4] = {0xDEADBEEFu, 0x01234567u, 0x89ABCDEFu, 0xFFFFFFFFu};
    const uint8_t plain[8] = {0, 0xff, 0x20, 0x7f, 0x80, 1, 2, 3};
    for (uint32_t cycles : {1u, 2u, 16u, 32u, 33u, 64u, 100u}) {
        uint8_t cipher[8], back[8];
        EncipherBlock(plain, cipher, key, cycles);
        EXPECT_NE(std::memcmp(plain, cipher, 8), 0) << cycles;
        DecipherBlock(cipher, back, key, cycles);
        EXPECT_EQ(std::memcmp(plain, back, 8), 0) << cycles;
    }
}

TEST(Xtea, InPlaceBlock) {
    const uint32_t key[4] = {5, 6, 7, 8};
    uint8_t block[8] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
    uint8_t separate[8];
    EncipherBlock(block, separate, key, 32);
    EncipherBlock(block, block, key, 32);
    EXPECT_EQ(std::memcmp(block, separate, 8), 0);
}

}  // namespace
