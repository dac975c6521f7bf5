// A CGI program that reads its standard input to the end and prints how many
// bytes it read, in decimal, alone. (Windows text mode delivers CR LF as one byte.)
#include <cstdio>

int main() {
    char buffer[4096];
    unsigned long total = 0;
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) total += n;
    std::printf("%lu", total);
    return 0;
}
