// A CGI program whose output is larger than the server once passed on
// (10,000 bytes): exactly 15,000 bytes, no line ends, as 1,500 records of 10 bytes, each the record's
// own byte offset in 9 decimal digits followed by '.', so a reader can tell
// exactly where a cut output stops ("000000000.000000010.000000020....").
#include <cstdio>

int main() {
    const int kRecords = 1500;
    for (int i = 0; i < kRecords; ++i) std::printf("%09d.", i * 10);
    return 0;
}
