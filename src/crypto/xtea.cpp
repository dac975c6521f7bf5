#include "crypto/xtea.h"

namespace qv::crypto {

namespace {
constexpr uint32_t kDelta = 0x9E3779B9u;
}

uint32_t LoadWord(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

void StoreWord(uint32_t word, uint8_t* bytes) {
    bytes[0] = static_cast<uint8_t>(word);
    bytes[1] = static_cast<uint8_t>(word >> 8);
    bytes[2] = static_cast<uint8_t>(word >> 16);
    bytes[3] = static_cast<uint8_t>(word >> 24);
}

void EncipherBlock(const uint8_t in[8], uint8_t out[8], const uint32_t key[4], uint32_t cycles) {
    uint32_t y = LoadWord(in);
    uint32_t z = LoadWord(in + 4);
    uint32_t sum = 0;
    for (uint32_t i = 0; i < cycles; ++i) {
        y += (((z << 4) ^ (z >> 5)) + z) ^ (sum + key[sum & 3]);
        sum += kDelta;
        z += (((y << 4) ^ (y >> 5)) + y) ^ (sum + key[(sum >> 11) & 3]);
    }
    StoreWord(y, out);
    StoreWord(z, out + 4);
}

void DecipherBlock(const uint8_t in[8], uint8_t out[8], const uint32_t key[4], uint32_t cycles) {
    uint32_t y = LoadWord(in);
    uint32_t z = LoadWord(in + 4);
    uint32_t sum = kDelta * cycles;  // modulo 2^32
    for (uint32_t i = 0; i < cycles; ++i) {
        z -= (((y << 4) ^ (y >> 5)) + y) ^ (sum + key[(sum >> 11) & 3]);
        sum -= kDelta;
        y -= (((z << 4) ^ (z >> 5)) + z) ^ (sum + key[sum & 3]);
    }
    StoreWord(y, out);
    StoreWord(z, out + 4);
}

}  // namespace qv::crypto

namespace qv::crypto {

XteaSchedule::XteaSchedule(const uint32_t key[4], uint32_t cycles)
    : cycles_(cycles < kMaxCycles ? cycles : kMaxCycles) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < cycles_; ++i) {
        first_[i] = sum + key[sum & 3];
        sum += kDelta;
        second_[i] = sum + key[(sum >> 11) & 3];
    }
}

namespace {

// Thirty-two blocks at a time: their rounds are independent, so the processor
// overlaps them instead of waiting on one block's chain of additions, and at
// this width the compiler turns each round into a few vector instructions.
constexpr size_t kLanes = 32;

}  // namespace

void XteaSchedule::Encipher(const uint8_t* in, uint8_t* out, size_t count) const {
    size_t block = 0;
    for (; block + kLanes <= count; block += kLanes) {
        uint32_t y[kLanes], z[kLanes];
        for (size_t l = 0; l < kLanes; ++l) {
            y[l] = LoadWord(in + 8 * (block + l));
            z[l] = LoadWord(in + 8 * (block + l) + 4);
        }
        for (uint32_t i = 0; i < cycles_; ++i) {
            const uint32_t a = first_[i], b = second_[i];
            for (size_t l = 0; l < kLanes; ++l) y[l] += (((z[l] << 4) ^ (z[l] >> 5)) + z[l]) ^ a;
            for (size_t l = 0; l < kLanes; ++l) z[l] += (((y[l] << 4) ^ (y[l] >> 5)) + y[l]) ^ b;
        }
        for (size_t l = 0; l < kLanes; ++l) {
            StoreWord(y[l], out + 8 * (block + l));
            StoreWord(z[l], out + 8 * (block + l) + 4);
        }
    }
    for (; block < count; ++block) {
        uint32_t y = LoadWord(in + 8 * block), z = LoadWord(in + 8 * block + 4);
        for (uint32_t i = 0; i < cycles_; ++i) {
            y += (((z << 4) ^ (z >> 5)) + z) ^ first_[i];
            z += (((y << 4) ^ (y >> 5)) + y) ^ second_[i];
        }
        StoreWord(y, out + 8 * block);
        StoreWord(z, out + 8 * block + 4);
    }
}

void XteaSchedule::Decipher(const uint8_t* in, uint8_t* out, size_t count) const {
    size_t block = 0;
    for (; block + kLanes <= count; block += kLanes) {
        uint32_t y[kLanes], z[kLanes];
        for (size_t l = 0; l < kLanes; ++l) {
            y[l] = LoadWord(in + 8 * (block + l));
            z[l] = LoadWord(in + 8 * (block + l) + 4);
        }
        for (uint32_t i = cycles_; i-- > 0;) {
            const uint32_t a = first_[i], b = second_[i];
            for (size_t l = 0; l < kLanes; ++l) z[l] -= (((y[l] << 4) ^ (y[l] >> 5)) + y[l]) ^ b;
            for (size_t l = 0; l < kLanes; ++l) y[l] -= (((z[l] << 4) ^ (z[l] >> 5)) + z[l]) ^ a;
        }
        for (size_t l = 0; l < kLanes; ++l) {
            StoreWord(y[l], out + 8 * (block + l));
            StoreWord(z[l], out + 8 * (block + l) + 4);
        }
    }
    for (; block < count; ++block) {
        uint32_t y = LoadWord(in + 8 * block), z = LoadWord(in + 8 * block + 4);
        for (uint32_t i = cycles_; i-- > 0;) {
            z -= (((y << 4) ^ (y >> 5)) + y) ^ second_[i];
            y -= (((z << 4) ^ (z >> 5)) + z) ^ first_[i];
        }
        StoreWord(y, out + 8 * block);
        StoreWord(z, out + 8 * block + 4);
    }
}

}  // namespace qv::crypto
