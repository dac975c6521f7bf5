// Time-of-day deadlines: whole seconds since local midnight, 0 for none.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace qv::content {

// The time of day in whole seconds, milliseconds rounded half to even.
int32_t SecondOfDay(const qv::platform::LocalTime& now);

// `seconds` from now, wrapped past midnight; 0 when `seconds` is 0.
int32_t MakeDeadline(int32_t seconds);
int32_t MakeDeadline(int32_t seconds, const qv::platform::LocalTime& now);

// 1 once the current second is beyond the deadline, else 0.
int16_t DeadlinePassed(int32_t deadline);
int16_t DeadlinePassed(int32_t deadline, const qv::platform::LocalTime& now);

}  // namespace qv::content
