// Local time of day, a clock that only moves forward, and pauses.
#include <sys/time.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "platform/platform.h"

namespace qv::platform {

LocalTime CurrentLocalTime() {
    timeval now{};
    gettimeofday(&now, nullptr);
    const time_t seconds = now.tv_sec;
    tm local{};
    localtime_r(&seconds, &local);
    LocalTime result{};
    result.year = local.tm_year + 1900;
    result.month = local.tm_mon + 1;
    result.day = local.tm_mday;
    result.hour = local.tm_hour;
    result.minute = local.tm_min;
    // A leap second reads as the last ordinary one, as the Windows clock shows it.
    result.second = local.tm_sec > 59 ? 59 : local.tm_sec;
    result.millisecond = static_cast<int>(now.tv_usec / 1000);
    return result;
}

uint64_t MonotonicMilliseconds() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void SleepMilliseconds(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace qv::platform
