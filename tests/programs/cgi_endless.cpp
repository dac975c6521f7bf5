// A CGI program that never stops writing: a first line, then 1 MB blocks
// without end (until it is ended, or the system refuses it more).
#include <cstdio>
#include <string>

int main() {
    std::printf("endless\n");
    const std::string block(1 << 20, 'e');
    for (;;) {
        if (std::fwrite(block.data(), 1, block.size(), stdout) != block.size()) return 1;
    }
}
