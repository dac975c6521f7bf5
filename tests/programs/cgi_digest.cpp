// A CGI program that reads its standard input to the end, untranslated, and
// prints its CONTENT_LENGTH, the count of bytes read and their FNV-1a hash
// (64 bits, in hex): "LENGTH=n COUNT=n HASH=h". For bodies too long to be
// written back within the answer's limit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main() {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    uint64_t hash = 14695981039346656037ull;
    unsigned long long count = 0;
    unsigned char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) {
        for (size_t i = 0; i < n; ++i) {
            hash ^= buffer[i];
            hash *= 1099511628211ull;
        }
        count += n;
    }
    const char* length = std::getenv("CONTENT_LENGTH");
    char hex[17];
    for (int i = 15; i >= 0; --i, hash >>= 4) hex[i] = "0123456789abcdef"[hash & 15];
    hex[16] = '\0';
    const std::string line = std::string("LENGTH=") + (length != nullptr ? length : "(none)") +
                             " COUNT=" + std::to_string(count) + " HASH=" + hex;
    std::fputs(line.c_str(), stdout);
    return 0;
}
