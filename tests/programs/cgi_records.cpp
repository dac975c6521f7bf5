// A CGI program that writes as many bytes as its query (QUERY_STRING, decimal)
// says, rounded down to whole records of 10 bytes: each record its own byte
// offset in 9 decimal digits followed by '.' ("000000000.000000010...."), so a
// reader can check every byte without keeping them.
#include <cstdio>
#include <cstdlib>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const char* query = std::getenv("QUERY_STRING");
    const long long records = (query != nullptr ? std::strtoll(query, nullptr, 10) : 0) / 10;
    std::vector<char> buffer;
    buffer.reserve(65536);
    char record[10];
    record[9] = '.';
    for (long long i = 0; i < records; ++i) {
        // Written digit by digit: the Windows runtime may not know a format for 64-bit numbers.
        long long offset = i * 10;
        for (int digit = 8; digit >= 0; --digit, offset /= 10) record[digit] = static_cast<char>('0' + offset % 10);
        buffer.insert(buffer.end(), record, record + 10);
        if (buffer.size() >= 65536 - 10) {
            std::fwrite(buffer.data(), 1, buffer.size(), stdout);
            buffer.clear();
        }
    }
    std::fwrite(buffer.data(), 1, buffer.size(), stdout);
    return 0;
}
