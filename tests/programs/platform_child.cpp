// A child program for the process tests: copies its standard input to its
// standard output, and reports its argument, working directory and whole
// environment on its standard error, one "key=value" line each. When its
// environment holds CHILD_SLEEP_MS it then sleeps that long before ending.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

int main(int argc, char** argv, char** envp) {
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) std::fwrite(buffer, 1, got, stdout);
    std::fflush(stdout);

    std::fprintf(stderr, "argc=%d\n", argc);
    if (argc > 0) std::fprintf(stderr, "arg=%s\n", argv[0]);
    std::error_code error;
    std::fprintf(stderr, "cwd=%s\n", std::filesystem::current_path(error).string().c_str());
    long sleepMs = 0;
    for (char** entry = envp; entry != nullptr && *entry != nullptr; ++entry) {
        std::fprintf(stderr, "env=%s\n", *entry);
        if (std::strncmp(*entry, "CHILD_SLEEP_MS=", 15) == 0) sleepMs = std::strtol(*entry + 15, nullptr, 10);
    }
    std::fflush(stderr);
    if (sleepMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
    return 0;
}
