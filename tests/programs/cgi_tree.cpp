// A CGI program that starts a program of its own, as a script starts a
// command: a copy of itself that sleeps for 30 s. Its query (QUERY_STRING) is
// NAME-MODE, NAME of letters and digits: it writes "<its id> <the copy's id>"
// to NAME.pids in its working directory (whole, under a temporary name
// first), prints "started", and then, for MODE "wait", sleeps for 30 s too;
// for MODE "leave" it ends at once and leaves the copy running.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <unistd.h>
#endif

namespace {

void Sleep30s() { std::this_thread::sleep_for(std::chrono::seconds(30)); }

// Starts the sleeping copy; its process id, or 0.
unsigned long StartCopy() {
#ifdef _WIN32
    char self[MAX_PATH];
    if (GetModuleFileNameA(nullptr, self, MAX_PATH) == 0) return 0;
    char commandLine[] = "cgi_tree child";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(self, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) return 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return process.dwProcessId;
#else
    char name[] = "cgi_tree";
    char child[] = "child";
    char* argv[] = {name, child, nullptr};
    char* envp[] = {nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, envp) != 0) return 0;
    return static_cast<unsigned long>(pid);
#endif
}

unsigned long OwnId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "child") == 0) {
        Sleep30s();
        return 0;
    }
    const char* query = std::getenv("QUERY_STRING");
    const std::string text = query != nullptr ? query : "";
    const size_t dash = text.find('-');
    if (dash == std::string::npos || dash == 0 ||
        text.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") != dash) {
        return 1;
    }
    const std::string name = text.substr(0, dash);
    const std::string mode = text.substr(dash + 1);
    const unsigned long copy = StartCopy();
    if (copy == 0) return 1;
    std::FILE* out = std::fopen((name + ".part").c_str(), "w");
    if (out == nullptr) return 1;
    std::fprintf(out, "%lu %lu\n", OwnId(), copy);
    std::fclose(out);
    std::rename((name + ".part").c_str(), (name + ".pids").c_str());
    std::fputs("started", stdout);
    std::fflush(stdout);
    if (mode == "wait") Sleep30s();
    return 0;
}
