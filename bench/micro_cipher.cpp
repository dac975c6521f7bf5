// Enciphering 1 MB: the library's text cipher export beside Botan's XTEA on the same bytes.
#include <benchmark/benchmark.h>
#include <botan/block_cipher.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "quorvex.h"

namespace {

constexpr size_t kMegabyte = 1 << 20;
const char kKey[] = "sixteen byte key";

std::string Text() {
    std::string text(kMegabyte, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>((i * 131) ^ (i >> 7));
    return text;
}

void LibraryEncode(benchmark::State& state) {
    std::string text = Text();
    QvBSTR input = qv::platform::AllocByteString(text.data(), static_cast<uint32_t>(text.size()));
    for (auto _ : state) {
        QvBSTR out = TEA_Encode(&input, kKey);
        benchmark::DoNotOptimize(out);
        qv::platform::FreeByteString(out);
    }
    qv::platform::FreeByteString(input);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kMegabyte);
}

void BotanXtea(benchmark::State& state) {
    std::string text = Text();
    auto cipher = Botan::BlockCipher::create_or_throw("XTEA");
    cipher->set_key(reinterpret_cast<const uint8_t*>(kKey), 16);
    std::vector<uint8_t> out(kMegabyte);
    for (auto _ : state) {
        cipher->encrypt_n(reinterpret_cast<const uint8_t*>(text.data()), out.data(), kMegabyte / 8);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kMegabyte);
}

}  // namespace

BENCHMARK(LibraryEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BotanXtea)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
