// Hidden windows and their messages: made, found and destroyed; sent from
// their own thread and from others while their owner runs its loop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/platform.h"

namespace {

namespace platform = qv::platform;
using namespace std::chrono_literals;

std::atomic<std::thread::id> gRanOn;

intptr_t Tripler(platform::Window, uint32_t, uintptr_t wParam, intptr_t lParam) {
    gRanOn = std::this_thread::get_id();
    return static_cast<intptr_t>(wParam) * 3 + lParam;
}

// Pumps the calling thread's loop until `done` holds or 10 s have passed.
template <typename Done>
bool PumpUntil(Done done) {
    auto giveUp = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        platform::PumpMessages(20);
    }
    return true;
}

TEST(PlatformWindows, MadeFoundAndDestroyed) {
    platform::Window window = platform::CreateHiddenWindow(&Tripler);
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(platform::WindowExists(window));
    platform::Window other = platform::CreateHiddenWindow(&Tripler);
    ASSERT_NE(other, 0u);
    EXPECT_NE(other, window);
    platform::DestroyHiddenWindow(window);
    EXPECT_FALSE(platform::WindowExists(window));
    EXPECT_TRUE(platform::WindowExists(other));
    EXPECT_EQ(platform::SendWindowMessage(window, 1100, 2, 0), 0);
    platform::DestroyHiddenWindow(other);
    EXPECT_FALSE(platform::WindowExists(other));
    EXPECT_FALSE(platform::WindowExists(0));
}

TEST(PlatformWindows, SendOnTheOwnerThreadRunsAtOnce) {
    platform::Window window = platform::CreateHiddenWindow(&Tripler);
    ASSERT_NE(window, 0u);
    gRanOn = std::thread::id();
    EXPECT_EQ(platform::SendWindowMessage(window, 1100, 4, 1), 13);
    EXPECT_EQ(gRanOn.load(), std::this_thread::get_id());
    platform::DestroyHiddenWindow(window);
}

TEST(PlatformWindows, SendFromAnotherThreadIsAnsweredByTheOwnersLoop) {
    platform::Window window = platform::CreateHiddenWindow(&Tripler);
    ASSERT_NE(window, 0u);
    gRanOn = std::thread::id();
    std::atomic<bool> answered{false};
    intptr_t result = 0;
    std::thread sender([&] {
        result = platform::SendWindowMessage(window, 1100, 7, 2);
        answered = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return answered.load(); }));
    sender.join();
    EXPECT_EQ(result, 23);
    EXPECT_EQ(gRanOn.load(), std::this_thread::get_id());
    platform::DestroyHiddenWindow(window);
}

// Two threads that send to each other: while one waits for its answer it
// still runs what the other sends it.
std::atomic<platform::Window> gMainWindow{0};

intptr_t AsksBack(platform::Window, uint32_t, uintptr_t wParam, intptr_t) {
    return platform::SendWindowMessage(gMainWindow, 1101, wParam + 1, 0) + 1000;
}

TEST(PlatformWindows, ThreadsSendingToEachOtherDoNotWaitForEver) {
    gMainWindow = platform::CreateHiddenWindow(&Tripler);
    ASSERT_NE(gMainWindow.load(), 0u);
    std::atomic<platform::Window> workerWindow{0};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        workerWindow = platform::CreateHiddenWindow(&AsksBack);
        while (!finished) platform::PumpMessages(20);
        platform::DestroyHiddenWindow(workerWindow);
    });
    while (workerWindow == 0) std::this_thread::yield();
    gRanOn = std::thread::id();
    // 5 goes to the worker, which asks this thread with 6: 18, plus 1000.
    EXPECT_EQ(platform::SendWindowMessage(workerWindow, 1100, 5, 0), 1018);
    EXPECT_EQ(gRanOn.load(), std::this_thread::get_id());
    finished = true;
    worker.join();
    platform::DestroyHiddenWindow(gMainWindow);
}

TEST(PlatformWindows, WindowsEndWithTheirThread) {
    std::atomic<platform::Window> made{0};
    std::thread maker([&] { made = platform::CreateHiddenWindow(&Tripler); });
    maker.join();
    ASSERT_NE(made.load(), 0u);
    EXPECT_FALSE(platform::WindowExists(made));
}

TEST(PlatformWindows, PumpWithoutMessagesReturnsAfterItsTime) {
    platform::Window window = platform::CreateHiddenWindow(&Tripler);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(platform::PumpMessages(0), 0);
    EXPECT_EQ(platform::PumpMessages(20), 0);
    platform::DestroyHiddenWindow(window);
}

}  // namespace
