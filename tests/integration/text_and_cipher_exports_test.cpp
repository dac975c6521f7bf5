// The text and cipher exports as a host calls them: by name from the loaded
// library, results freed with SysFreeString.
#include <gtest/gtest.h>

#include <string>

#include "library.h"

namespace {

using namespace std::string_literals;
using qvtest::api;
using qvtest::MakeString;
using qvtest::TakeString;

TEST(TextExports, ParseFields) {
    ASSERT_NE(api().WEBSRVPARSE, nullptr);
    struct Case {
        const char* text;
        const char* delimiters;
        int32_t index;
        std::string field;
    };
    const Case cases[] = {
        {"a,b;;c", ",;", 1, "a"},  {"a,b;;c", ",;", 3, ""},       {"a,b;;c", ",;", 4, "c"},
        {"a,b;;c", ",;", -1, "c"}, {"a,b;;c", ",;", -4, "a"},     {"a,b;;c", ",;", 0, ""},
        {"a,b;;c", ",;", 5, ""},   {"a,b;;c", ",;", -5, ""},      {"a,b;;c", "", 2, "a,b;;c"},
        {nullptr, ",", 1, ""},     {"a,b", nullptr, 2, "a,b"},    {nullptr, nullptr, 1, ""},
    };
    for (const Case& c : cases) {
        QvBSTR result = api().WEBSRVPARSE(c.text, c.delimiters, c.index);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(TakeString(result), c.field) << (c.text ? c.text : "(null)") << " " << c.index;
    }
}

TEST(TextExports, GetStringCopiesCountedBytes) {
    ASSERT_NE(api().GetString, nullptr);
    const char bytes[] = {'A', '\0', 'B', '\0', 'C', 'x'};
    struct Case {
        const char* bytes;
        int32_t count;
        std::string copy;
    };
    const Case cases[] = {
        {bytes, 5, "A\0B\0C"s}, {bytes, 1, "A"}, {bytes, 0, ""}, {bytes, -3, ""}, {nullptr, 4, ""},
    };
    for (const Case& c : cases) {
        QvBSTR result = api().GetString(c.bytes, c.count);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(api().SysStringByteLen(result), c.copy.size());
        EXPECT_EQ(TakeString(result), c.copy) << c.count;
    }
}

TEST(CipherExports, RoundTripThroughTheHostsStrings) {
    ASSERT_NE(api().TEA_Encode, nullptr);
    ASSERT_NE(api().TEA_Decode, nullptr);
    const std::string plain = "Attack at dawn\0 with 3 bytes\xff\x80!"s;
    QvBSTR text = MakeString(plain);
    const std::string cipher = TakeString(api().TEA_Encode(&text, "my secret"));
    EXPECT_EQ(cipher.size(), 32u);  // 31 bytes and one space
    EXPECT_EQ(TakeString(text), plain);  // the host's string is read, not changed

    QvBSTR encoded = MakeString(cipher);
    std::string expected = plain;
    expected.resize(32, ' ');
    EXPECT_EQ(TakeString(api().TEA_Decode(&encoded, "my secret")), expected);
    api().SysFreeString(encoded);
}

TEST(CipherExports, EmptyAndMissingArguments) {
    QvBSTR empty = MakeString("");
    QvBSTR noString = nullptr;
    EXPECT_EQ(TakeString(api().TEA_Encode(&empty, "k")), "");
    EXPECT_EQ(TakeString(api().TEA_Decode(&empty, "k")), "");
    EXPECT_EQ(TakeString(api().TEA_Encode(&noString, "k")), "");
    EXPECT_EQ(TakeString(api().TEA_Encode(nullptr, "k")), "");
    EXPECT_EQ(TakeString(api().TEA_Decode(nullptr, nullptr)), "");
    api().SysFreeString(empty);

    // A missing key is the empty key: sixteen spaces.
    QvBSTR text = MakeString("eight by");
    const std::string withNull = TakeString(api().TEA_Encode(&text, nullptr));
    EXPECT_EQ(withNull.size(), 8u);
    EXPECT_EQ(TakeString(api().TEA_Encode(&text, "")), withNull);
    EXPECT_EQ(TakeString(api().TEA_Encode(&text, "                ")), withNull);
    EXPECT_NE(TakeString(api().TEA_Encode(&text, "x")), withNull);
    api().SysFreeString(text);
}

}  // namespace
