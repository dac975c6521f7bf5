// A CGI program that writes back what a posted form gave it: its content
// length and type, then its standard input byte for byte, untranslated.
#include <cstdio>
#include <cstdlib>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main() {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const char* length = std::getenv("CONTENT_LENGTH");
    const char* type = std::getenv("CONTENT_TYPE");
    std::printf("LENGTH=%s\nTYPE=%s\nBODY=", length != nullptr ? length : "(none)", type != nullptr ? type : "(none)");
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) std::fwrite(buffer, 1, n, stdout);
    return 0;
}
