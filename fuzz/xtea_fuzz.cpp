// The text cipher for any key and text: deciphering what was enciphered gives
// the text back padded with spaces, lengths follow the 8-byte blocks, the
// key text ends at its first zero byte and 16 bytes, the block functions and
// the block schedule agree with the text functions, and the exports a host
// calls give the same bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "crypto/text_cipher.h"
#include "crypto/xtea.h"
#include "fuzz_check.h"
#include "platform/platform.h"
#include "quorvex.h"

namespace {

using qv::crypto::kTextCycles;

size_t PaddedSize(size_t size) { return (size + 7) / 8 * 8; }

std::string Padded(const std::string& text) {
    std::string padded = text;
    padded.resize(PaddedSize(text.size()), ' ');
    return padded;
}

// Each 8-byte block of `text` (padded) through one block function.
template <typename BlockFunction>
std::string ByBlocks(const std::string& text, const uint32_t key[4], BlockFunction block) {
    std::string out = Padded(text);
    for (size_t at = 0; at < out.size(); at += 8) {
        uint8_t bytes[8];
        std::memcpy(bytes, &out[at], 8);
        block(bytes, bytes, key, kTextCycles);
        std::memcpy(&out[at], bytes, 8);
    }
    return out;
}

using TextExport = QvBSTR(QV_CALL*)(const QvBSTR*, const char*);

std::string ThroughExport(TextExport operation, const std::string& text, const std::string& key) {
    QvBSTR in = qv::platform::AllocByteString(text.data(), static_cast<uint32_t>(text.size()));
    QvBSTR out = operation(&in, key.c_str());
    FUZZ_REQUIRE(out != nullptr);
    std::string bytes(qv::platform::ByteStringBytes(out), qv::platform::ByteStringLength(out));
    qv::platform::FreeByteString(out);
    qv::platform::FreeByteString(in);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string keyText = input.ConsumeRandomLengthString(24);
    const uint32_t cycles = input.ConsumeIntegralInRange<uint32_t>(0, 80);
    const std::string text = input.ConsumeRemainingBytesAsString();

    const std::string cipher = qv::crypto::EncipherText(text, keyText);
    FUZZ_REQUIRE(cipher.size() == PaddedSize(text.size()));
    FUZZ_REQUIRE(qv::crypto::DecipherText(cipher, keyText) == Padded(text));
    // Deciphering any text, whatever its length, also works in whole blocks.
    const std::string deciphered = qv::crypto::DecipherText(text, keyText);
    FUZZ_REQUIRE(deciphered.size() == PaddedSize(text.size()));
    FUZZ_REQUIRE(qv::crypto::EncipherText(deciphered, keyText) == Padded(text));

    // Only the key text's bytes before its first zero and within 16 count.
    const std::string keyUsed = keyText.substr(0, keyText.find('\0')).substr(0, 16);
    FUZZ_REQUIRE(qv::crypto::EncipherText(text, keyUsed) == cipher);

    uint32_t key[4];
    qv::crypto::KeyFromText(keyText, key);
    FUZZ_REQUIRE(ByBlocks(text, key, qv::crypto::EncipherBlock) == cipher);
    FUZZ_REQUIRE(ByBlocks(cipher, key, qv::crypto::DecipherBlock) == Padded(text));

    // The schedule against the block functions for any cycle count it holds.
    const std::string padded = Padded(text);
    const size_t blocks = padded.size() / 8;
    if (blocks > 0) {
        const uint32_t held = cycles < qv::crypto::XteaSchedule::kMaxCycles ? cycles : qv::crypto::XteaSchedule::kMaxCycles;
        const qv::crypto::XteaSchedule schedule(key, cycles);
        std::string scheduled = padded;
        auto* bytes = reinterpret_cast<uint8_t*>(&scheduled[0]);
        schedule.Encipher(bytes, bytes, blocks);
        for (size_t b = 0; b < blocks; ++b) {
            uint8_t one[8];
            std::memcpy(one, padded.data() + 8 * b, 8);
            qv::crypto::EncipherBlock(one, one, key, held);
            FUZZ_REQUIRE(std::memcmp(one, bytes + 8 * b, 8) == 0);
        }
        schedule.Decipher(bytes, bytes, blocks);
        FUZZ_REQUIRE(scheduled == padded);
    }

    // The exports: the key as a zero-ended text.
    FUZZ_REQUIRE(ThroughExport(TEA_Encode, text, keyText) == cipher);
    FUZZ_REQUIRE(ThroughExport(TEA_Decode, cipher, keyText) == Padded(text));
    return 0;
}
