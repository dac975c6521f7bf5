// The byte-string functions a host frees our results with.
#include <gtest/gtest.h>

#include "library.h"

namespace {

TEST(ByteStringExports, AllocateMeasureAndFree) {
    const qvtest::Api& a = qvtest::api();
    ASSERT_NE(a.SysAllocStringByteLen, nullptr);
    ASSERT_NE(a.SysStringByteLen, nullptr);
    ASSERT_NE(a.SysFreeString, nullptr);
    QvBSTR text = qvtest::MakeString(std::string("x\0y", 3));
    EXPECT_EQ(a.SysStringByteLen(text), 3u);
    EXPECT_EQ(qvtest::TakeString(text), std::string("x\0y", 3));
}

}  // namespace
