// A CGI program that writes far more than the server once passed on: 1,048,580
// bytes, no line ends, as 104,858 records of 10 bytes, each the record's own
// byte offset in 9 decimal digits followed by '.' (as cgi_big writes them).
#include <cstdio>

int main() {
    const int kRecords = 104858;
    for (int i = 0; i < kRecords; ++i) std::printf("%09d.", i * 10);
    return 0;
}
