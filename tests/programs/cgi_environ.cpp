// A CGI program that answers with its environment in its header block: a
// text/plain type, then one "X-Env: NAME=value" field per entry of its
// environment, in order, for the first 40 entries (the block the server
// builds; a system may add its own after them), then the empty line and the
// text "environment". A HEAD answer still shows every value.
#include <cstdio>

int main(int, char**, char** envp) {
    std::printf("Content-Type: text/plain\n");
    int count = 0;
    for (char** entry = envp; entry != nullptr && *entry != nullptr && count < 40; ++entry, ++count) {
        std::printf("X-Env: %s\n", *entry);
    }
    std::printf("\nenvironment");
    return 0;
}
