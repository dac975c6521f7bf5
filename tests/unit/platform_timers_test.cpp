// Window timers: delivered by the owner's loop with their id, replaced by
// setting the same id again, silent once killed or once their window is gone.
#include <gtest/gtest.h>

#include <map>

#include "platform/platform.h"
#include "pump_until.h"

namespace {

namespace platform = qv::platform;
using qvtest::PumpUntil;

std::map<uintptr_t, int> gTicks;  // by timer id; written by the test thread's loop only
platform::Window gLastWindow = 0;

intptr_t CountTicks(platform::Window window, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == platform::kTimerMessage) {
        ++gTicks[wParam];
        gLastWindow = window;
    }
    return 0;
}

class PlatformTimers : public ::testing::Test {
protected:
    void SetUp() override {
        gTicks.clear();
        window_ = platform::CreateHiddenWindow(&CountTicks);
        ASSERT_NE(window_, 0u);
    }
    void TearDown() override { platform::DestroyHiddenWindow(window_); }
    platform::Window window_ = 0;
};

TEST_F(PlatformTimers, TimerRepeatsWithItsIdUntilKilled) {
    ASSERT_TRUE(platform::SetWindowTimer(window_, 7, 20));
    ASSERT_TRUE(platform::SetWindowTimer(window_, 9, 600000));
    ASSERT_TRUE(PumpUntil([] { return gTicks[7] >= 3; }));
    EXPECT_EQ(gLastWindow, window_);
    EXPECT_EQ(gTicks[9], 0);
    platform::KillWindowTimer(window_, 7);
    const int ticks = gTicks[7];
    platform::PumpMessages(200);
    EXPECT_EQ(gTicks[7], ticks);
    platform::KillWindowTimer(window_, 9);
    platform::KillWindowTimer(window_, 12345);  // never set: nothing happens
}

TEST_F(PlatformTimers, SettingTheSameIdAgainReplacesTheTimer) {
    ASSERT_TRUE(platform::SetWindowTimer(window_, 3, 20));
    ASSERT_TRUE(PumpUntil([] { return gTicks[3] >= 1; }));
    ASSERT_TRUE(platform::SetWindowTimer(window_, 3, 600000));
    const int ticks = gTicks[3];
    platform::PumpMessages(200);
    EXPECT_EQ(gTicks[3], ticks);
}

TEST_F(PlatformTimers, NothingComesOnceTheWindowIsGone) {
    ASSERT_TRUE(platform::SetWindowTimer(window_, 5, 20));
    platform::DestroyHiddenWindow(window_);
    window_ = 0;
    platform::PumpMessages(200);
    EXPECT_EQ(gTicks[5], 0);
    EXPECT_FALSE(platform::SetWindowTimer(window_, 5, 20));
}

}  // namespace
