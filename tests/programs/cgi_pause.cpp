// A CGI program that takes its time: sleeps 3 s and writes when it began and
// when it ended, in milliseconds of the system clock, so that a test can tell
// whether two runs overlapped.
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

int main() {
    const long long begin = NowMs();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::printf("begin=%lld end=%lld", begin, NowMs());
    return 0;
}
