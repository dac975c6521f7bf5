// A CGI program that writes, byte for byte, the file NAME.out of its working
// directory (the CGI directory), NAME being its query (QUERY_STRING): letters,
// digits, '-' and '_' only. Writes nothing for any other query.
#include <cstdio>
#include <cstdlib>
#include <string>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const char* query = std::getenv("QUERY_STRING");
    const std::string name = query != nullptr ? query : "";
    if (name.empty() || name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_") !=
                            std::string::npos) {
        return 1;
    }
    std::FILE* in = std::fopen((name + ".out").c_str(), "rb");
    if (in == nullptr) return 1;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) std::fwrite(buffer, 1, n, stdout);
    std::fclose(in);
    return 0;
}
