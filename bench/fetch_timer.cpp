// Times the library's URL fetch: fetch_timer URL ROUNDS prints the bytes of
// one fetch and the median seconds of the rounds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "quorvex.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: fetch_timer URL ROUNDS\n");
        return 2;
    }
    int rounds = std::atoi(argv[2]);
    std::vector<double> seconds;
    uint32_t bytes = 0;
    for (int i = 0; i < rounds; ++i) {
        auto start = std::chrono::steady_clock::now();
        QvBSTR body = WEBResponse(argv[1], "", "");
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        bytes = qv::platform::ByteStringLength(body);
        qv::platform::FreeByteString(body);
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("%u %.6f\n", bytes, seconds[seconds.size() / 2]);
    return 0;
}
