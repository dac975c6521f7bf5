// The native message-loop exports, driven as a host on Linux drives them.
// On Windows the library has no such exports and the system loop is used.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <thread>

#include "library.h"

namespace {

using namespace std::chrono_literals;

// The exports' own types, spelled out here: the public header declares them
// only where they exist.
using WindowProc = intptr_t (*)(uint32_t hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);
struct Loop {
    uint32_t (*MakeWindow)(WindowProc);
    int32_t (*EndWindow)(uint32_t);
    int32_t (*WindowAlive)(uint32_t);
    intptr_t (*Send)(uint32_t, uint32_t, uintptr_t, intptr_t);
    int32_t (*Post)(uint32_t, uint32_t, uintptr_t, intptr_t);
    int32_t (*Pump)(int32_t);
    void (*Quit)();
    uint32_t (*MakeMutex)();
    int32_t (*Wait)(uint32_t, int32_t);
    int32_t (*Release)(uint32_t);
    int32_t (*EndMutex)(uint32_t);
};

template <typename F>
void Find(F& slot, const char* name) {
    slot = reinterpret_cast<F>(qvtest::FindExport(name));
}

constexpr int32_t kOwned = 0;
constexpr int32_t kTimedOut = 258;
constexpr int32_t kAbandoned = 0x80;

std::atomic<std::thread::id> gProcThread;
std::atomic<int> gPosted{0};

intptr_t Doubler(uint32_t, uint32_t message, uintptr_t wParam, intptr_t) {
    gProcThread = std::this_thread::get_id();
    if (message == 2000) ++gPosted;
    return static_cast<intptr_t>(wParam) * 2;
}

class MessageLoopExports : public ::testing::Test {
protected:
    void SetUp() override {
        if (qvtest::FindExport("QvCreateWindow") == nullptr) GTEST_SKIP() << "no native message loop on this platform";
        Find(q.MakeWindow, "QvCreateWindow");
        Find(q.EndWindow, "QvDestroyWindow");
        Find(q.WindowAlive, "QvIsWindow");
        Find(q.Send, "QvSendMessage");
        Find(q.Post, "QvPostMessage");
        Find(q.Pump, "QvPumpMessages");
        Find(q.Quit, "QvPostQuitMessage");
        Find(q.MakeMutex, "QvCreateMutex");
        Find(q.Wait, "QvWaitMutex");
        Find(q.Release, "QvReleaseMutex");
        Find(q.EndMutex, "QvCloseMutex");
        // The library was loaded by this thread, which owns its first window and gets the quit.
        window = q.MakeWindow(&Doubler);
        ASSERT_NE(window, 0u);
    }
    void TearDown() override {
        if (window != 0) q.EndWindow(window);
    }
    // Pumps this thread's loop until `done` holds (bounded: a broken loop fails, not hangs).
    template <typename Done>
    bool PumpUntil(Done done) {
        auto give_up = std::chrono::steady_clock::now() + 10s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > give_up) return false;
            q.Pump(20);
        }
        return true;
    }

    Loop q{};
    uint32_t window = 0;
};

TEST_F(MessageLoopExports, QuitFromAnotherThreadEndsPumpingForever) {
    std::thread poster([this] {
        std::this_thread::sleep_for(50ms);
        q.Quit();
    });
    EXPECT_EQ(q.Pump(-1), -1);
    poster.join();
    // The quit is taken by the loop that saw it.
    EXPECT_EQ(q.Pump(0), 0);
}

Loop* gSignalLoop = nullptr;
void QuitOnSignal(int) { gSignalLoop->Quit(); }

TEST_F(MessageLoopExports, QuitFromSignalHandlerEndsPumpingForever) {
    gSignalLoop = &q;
    auto previous = std::signal(SIGTERM, &QuitOnSignal);
    ASSERT_NE(previous, SIG_ERR);
    std::thread signaller([] {
        std::this_thread::sleep_for(50ms);
        std::raise(SIGTERM);
    });
    EXPECT_EQ(q.Pump(-1), -1);
    signaller.join();
    std::signal(SIGTERM, previous);
}

TEST_F(MessageLoopExports, PumpWithTimeoutReturnsZeroWithoutQuit) {
    EXPECT_EQ(q.Pump(0), 0);
    EXPECT_EQ(q.Pump(30), 0);
}

TEST_F(MessageLoopExports, SendFromAnotherThreadRunsOnTheOwnerWhileItPumps) {
    gProcThread = std::thread::id();
    std::atomic<intptr_t> result{-1};
    std::thread sender([&] { result = q.Send(window, 1500, 21, 0); });
    EXPECT_TRUE(PumpUntil([&] { return result != -1; }));
    sender.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(gProcThread.load(), std::this_thread::get_id());
}

TEST_F(MessageLoopExports, SendOnTheOwnerThreadCallsDirectly) {
    gProcThread = std::thread::id();
    EXPECT_EQ(q.Send(window, 1500, 5, 0), 10);
    EXPECT_EQ(gProcThread.load(), std::this_thread::get_id());
}

TEST_F(MessageLoopExports, PostedMessageWaitsForTheLoop) {
    gPosted = 0;
    ASSERT_EQ(q.Post(window, 2000, 1, 0), 1);
    EXPECT_EQ(gPosted, 0);
    q.Pump(0);
    EXPECT_EQ(gPosted, 1);
}

TEST_F(MessageLoopExports, DestroyedWindowIsRefused) {
    uint32_t other = q.MakeWindow(&Doubler);
    ASSERT_NE(other, 0u);
    EXPECT_NE(other, window);
    EXPECT_EQ(q.WindowAlive(other), 1);
    EXPECT_EQ(q.EndWindow(other), 1);
    EXPECT_EQ(q.WindowAlive(other), 0);
    EXPECT_EQ(q.EndWindow(other), 0);
    EXPECT_EQ(q.Send(other, 1500, 4, 0), 0);
    EXPECT_EQ(q.Post(other, 1500, 4, 0), 0);
    // A new window never gets the handle just given up.
    uint32_t next = q.MakeWindow(&Doubler);
    EXPECT_NE(next, other);
    q.EndWindow(next);
}

TEST_F(MessageLoopExports, SendToAWindowDestroyedWhileWaitingGetsZero) {
    std::atomic<uint32_t> made{0};
    std::atomic<bool> sendQueued{false};
    std::thread owner([&] {
        made = q.MakeWindow(&Doubler);
        // Never pumps: the message waits until the window goes.
        while (!sendQueued) std::this_thread::yield();
        std::this_thread::sleep_for(50ms);
        q.EndWindow(made);
    });
    while (made == 0) std::this_thread::yield();
    std::atomic<intptr_t> result{-1};
    std::thread sender([&] {
        sendQueued = true;
        result = q.Send(made, 1500, 9, 0);
    });
    sender.join();
    owner.join();
    EXPECT_EQ(result, 0);
}

TEST_F(MessageLoopExports, WindowsOfAnEndedThreadAreGone) {
    std::atomic<uint32_t> made{0};
    std::thread maker([&] { made = q.MakeWindow(&Doubler); });
    maker.join();
    ASSERT_NE(made.load(), 0u);
    EXPECT_EQ(q.WindowAlive(made), 0);
    EXPECT_EQ(q.Send(made, 1500, 3, 0), 0);
}

TEST_F(MessageLoopExports, MutexIsOwnedByOneThreadAndRecursive) {
    uint32_t mutex = q.MakeMutex();
    ASSERT_NE(mutex, 0u);
    ASSERT_EQ(q.Wait(mutex, 0), kOwned);
    ASSERT_EQ(q.Wait(mutex, 0), kOwned);  // again: recursive

    std::atomic<int32_t> early{-2}, second{-2}, late{-2};
    std::atomic<bool> releasedOnce{false}, releasedTwice{false}, ownedBeforeRelease{false};
    std::thread other([&] {
        early = q.Wait(mutex, 50);
        // Released once of two: still owned, so a bounded wait still times out.
        while (!releasedOnce) std::this_thread::yield();
        second = q.Wait(mutex, 50);
        // Waiting without limit lasts until the last release.
        late = q.Wait(mutex, -1);
        ownedBeforeRelease = !releasedTwice;
        EXPECT_EQ(q.Release(mutex), 1);
    });
    while (early == -2) std::this_thread::yield();
    EXPECT_EQ(early, kTimedOut);
    EXPECT_EQ(q.Release(mutex), 1);
    releasedOnce = true;
    while (second == -2) std::this_thread::yield();
    EXPECT_EQ(second, kTimedOut);
    std::this_thread::sleep_for(50ms);
    releasedTwice = true;
    EXPECT_EQ(q.Release(mutex), 1);
    other.join();
    EXPECT_FALSE(ownedBeforeRelease);
    EXPECT_EQ(late, kOwned);
    // Not the owner any more: nothing to release.
    EXPECT_EQ(q.Release(mutex), 0);
    EXPECT_EQ(q.EndMutex(mutex), 1);
    EXPECT_EQ(q.EndMutex(mutex), 0);
}

TEST_F(MessageLoopExports, MutexOfAnEndedThreadGoesToTheNextWaiter) {
    uint32_t mutex = q.MakeMutex();
    ASSERT_NE(mutex, 0u);
    std::thread owner([&] { EXPECT_EQ(q.Wait(mutex, 0), kOwned); });
    owner.join();
    EXPECT_EQ(q.Wait(mutex, 1000), kAbandoned);
    EXPECT_EQ(q.Release(mutex), 1);
    q.EndMutex(mutex);
}

}  // namespace
