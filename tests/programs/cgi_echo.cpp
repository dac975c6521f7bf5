// A CGI program that shows what it was given: its command-line argument, the
// first line of its standard input, and its whole environment in order.
//   ARG=<argument>
//   STDIN=<first input line, without its line end>
//   NAME=value        (one line per environment entry)
// On Linux the server passes the command line as the only argument; on
// Windows the C runtime splits the command line at spaces, so a command line
// without spaces arrives whole as argv[0]. (Windows text mode writes CR LF.)
#include <cstdio>
#include <string>

int main(int argc, char** argv, char** envp) {
    const char* argument = argc > 1 ? argv[1] : (argc > 0 ? argv[0] : "");
    std::printf("ARG=%s\n", argument);

    std::string line;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) line += static_cast<char>(c);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::printf("STDIN=%s\n", line.c_str());

    for (char** entry = envp; entry != nullptr && *entry != nullptr; ++entry) std::printf("%s\n", *entry);
    return 0;
}
