// A CGI program that lists the server's exchange files beside it (in its
// working directory, the CGI directory) with their permission bits in octal,
// one "name mode" line each, sorted by name; then its first input line.
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

int main() {
    namespace fs = std::filesystem;
    std::set<std::string> lines;
    std::error_code failed;
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::current_path(), failed)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("Quorvex", 0) != 0 || name.size() < 4 || name.substr(name.size() - 4) != ".TMP") continue;
        const unsigned mode = static_cast<unsigned>(entry.status().permissions() & fs::perms::mask);
        char octal[16];
        std::snprintf(octal, sizeof octal, "%o", mode);
        lines.insert(name + " " + octal);
    }
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    std::string input;
    for (int c = std::getchar(); c != EOF && c != '\n' && c != '\r'; c = std::getchar()) input += static_cast<char>(c);
    std::printf("STDIN=%s\n", input.c_str());
    return 0;
}
