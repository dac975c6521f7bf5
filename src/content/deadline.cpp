#include "content/deadline.h"

namespace qv::content {

namespace {
constexpr int64_t kSecondsPerDay = 86400;
}

int32_t SecondOfDay(const qv::platform::LocalTime& now) {
    const int64_t whole = int64_t{now.hour} * 3600 + int64_t{now.minute} * 60 + now.second;
    int64_t rounded = whole;
    if (now.millisecond > 500 || (now.millisecond == 500 && whole % 2 != 0)) rounded += 1;
    return static_cast<int32_t>(rounded);
}

int32_t MakeDeadline(int32_t seconds, const qv::platform::LocalTime& now) {
    if (seconds == 0) return 0;
    // 64-bit sum: a huge `seconds` must not overflow.
    int64_t sum = int64_t{SecondOfDay(now)} + seconds;
    if (sum > kSecondsPerDay) sum -= kSecondsPerDay;
    if (sum > INT32_MAX) sum = INT32_MAX;
    if (sum < INT32_MIN) sum = INT32_MIN;
    return static_cast<int32_t>(sum);
}

int16_t DeadlinePassed(int32_t deadline, const qv::platform::LocalTime& now) {
    return deadline < SecondOfDay(now) ? 1 : 0;
}

int32_t MakeDeadline(int32_t seconds) {
    return MakeDeadline(seconds, qv::platform::CurrentLocalTime());
}

int16_t DeadlinePassed(int32_t deadline) {
    return DeadlinePassed(deadline, qv::platform::CurrentLocalTime());
}

}  // namespace qv::content
