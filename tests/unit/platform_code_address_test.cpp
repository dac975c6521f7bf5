// Which addresses count as code: a host's callback address is checked with this.
#include <gtest/gtest.h>

#include <memory>

#include "platform/platform.h"

namespace {

namespace platform = qv::platform;

int SomeFunction(int x) { return x + 1; }
int gSomeData = 5;

TEST(PlatformCodeAddress, OnlyCodeIsExecutable) {
    int onTheStack = 0;
    auto onTheHeap = std::make_unique<int>(0);
    struct Case {
        const void* address;
        bool executable;
        const char* what;
    } cases[] = {
        {reinterpret_cast<const void*>(&SomeFunction), true, "a function"},
        {reinterpret_cast<const void*>(&platform::IsExecutableAddress), true, "a library function"},
        {&gSomeData, false, "global data"},
        {&onTheStack, false, "the stack"},
        {onTheHeap.get(), false, "the heap"},
        {nullptr, false, "null"},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::IsExecutableAddress(c.address), c.executable) << c.what;
    EXPECT_EQ(SomeFunction(gSomeData), 6);
}

}  // namespace
