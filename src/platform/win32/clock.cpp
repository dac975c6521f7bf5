// Local time of day, a clock that only moves forward, and pauses.
#include <windows.h>

#include "platform/platform.h"

namespace qv::platform {

LocalTime CurrentLocalTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    LocalTime result{};
    result.year = now.wYear;
    result.month = now.wMonth;
    result.day = now.wDay;
    result.hour = now.wHour;
    result.minute = now.wMinute;
    result.second = now.wSecond;
    result.millisecond = now.wMilliseconds;
    return result;
}

uint64_t MonotonicMilliseconds() { return GetTickCount64(); }

void SleepMilliseconds(uint32_t ms) { Sleep(ms); }

}  // namespace qv::platform
