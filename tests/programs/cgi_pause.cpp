// A CGI program that takes its time: sleeps 3 s (or the milliseconds its
// query says) and writes when it began and when it ended, in milliseconds of
// the system clock, so that a test can tell whether runs overlapped.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

int main() {
    const long long begin = NowMs();
    const char* query = std::getenv("QUERY_STRING");
    const long long asked = query != nullptr ? std::atoll(query) : 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(asked > 0 ? asked : 3000));
    std::printf("begin=%lld end=%lld", begin, NowMs());
    return 0;
}
