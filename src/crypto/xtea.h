// The XTEA block cipher: 64-bit blocks, 128-bit key, words read little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv::crypto {

// Enciphers the 8 bytes of `in` into `out` (which may be the same block)
// with `cycles` cycles of two rounds each; 0 cycles copies the block.
void EncipherBlock(const uint8_t in[8], uint8_t out[8], const uint32_t key[4], uint32_t cycles);
// The inverse of EncipherBlock for the same key and cycle count.
void DecipherBlock(const uint8_t in[8], uint8_t out[8], const uint32_t key[4], uint32_t cycles);

// A 32-bit word from 4 bytes, first byte least significant, and back.
uint32_t LoadWord(const uint8_t* bytes);
void StoreWord(uint32_t word, uint8_t* bytes);

}  // namespace qv::crypto

namespace qv::crypto {

// The per-round key words of one key and cycle count, worked out once so a
// long text does not repeat that work for every block.
class XteaSchedule {
public:
    static constexpr uint32_t kMaxCycles = 64;
    // Cycle counts above kMaxCycles are held at kMaxCycles.
    XteaSchedule(const uint32_t key[4], uint32_t cycles);
    // Enciphers or deciphers `count` consecutive 8-byte blocks (in may equal out).
    void Encipher(const uint8_t* in, uint8_t* out, size_t count) const;
    void Decipher(const uint8_t* in, uint8_t* out, size_t count) const;

private:
    uint32_t cycles_;
    uint32_t first_[kMaxCycles];   // sum + key[sum & 3], for the y half of each cycle
    uint32_t second_[kMaxCycles];  // sum + key[(sum >> 11) & 3], for the z half
};

}  // namespace qv::crypto
