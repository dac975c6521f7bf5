// The byte strings every export returns: OLE layout on both builds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

using qv::platform::AllocByteString;
using qv::platform::ByteStringBytes;
using qv::platform::ByteStringLength;
using qv::platform::FreeByteString;

TEST(ByteString, HoldsLengthBeforeAndNulAfterTheBytes) {
    const char bytes[] = {'A', '\0', 'B', 'C', 'D'};
    QvBSTR text = AllocByteString(bytes, sizeof bytes);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(ByteStringLength(text), 5u);
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<const char*>(text) - 4, 4);
    EXPECT_EQ(prefix, 5u);
    EXPECT_EQ(std::string(ByteStringBytes(text), 5), std::string(bytes, 5));
    EXPECT_EQ(ByteStringBytes(text)[5], '\0');
    FreeByteString(text);
}

TEST(ByteString, EmptyAndNullStrings) {
    QvBSTR empty = AllocByteString("", 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(ByteStringLength(empty), 0u);
    EXPECT_EQ(ByteStringBytes(empty)[0], '\0');
    FreeByteString(empty);
    EXPECT_EQ(ByteStringLength(nullptr), 0u);
    FreeByteString(nullptr);  // harmless, as SysFreeString is
}

}  // namespace
