// A CGI program that outlives the server's wait: writes "started" and then
// sleeps for 15 s before it ends.
#include <chrono>
#include <cstdio>
#include <thread>

int main() {
    std::fputs("started", stdout);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(15));
    return 0;
}
