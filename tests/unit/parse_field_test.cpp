// Fields of a text split at delimiter bytes.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "host_api/parse_field.h"

namespace {

using qv::host_api::ParseField;

struct FieldCase {
    const char* text;
    const char* delimiters;
    int32_t index;
    const char* field;
};

TEST(ParseField, Table) {
    const FieldCase cases[] = {
        {"a,b;;c", ",;", 1, "a"},
        {"a,b;;c", ",;", 2, "b"},
        {"a,b;;c", ",;", 3, ""},
        {"a,b;;c", ",;", 4, "c"},
        {"a,b;;c", ",;", -1, "c"},
        {"a,b;;c", ",;", -2, ""},
        {"a,b;;c", ",;", -3, "b"},
        {"a,b;;c", ",;", -4, "a"},
        {"a,b;;c", ",;", 0, ""},
        {"a,b;;c", ",;", 5, ""},
        {"a,b;;c", ",;", -5, ""},
        {"a,b;;c", "", 0, "a,b;;c"},
        {"a,b;;c", "", 7, "a,b;;c"},
        {"a,b;;c", "", -3, "a,b;;c"},
        {"one two  three", " ", 3, ""},
        {"one two  three", " ", 4, "three"},
        {"x,", ",", 2, ""},        // a delimiter at the end leaves an empty last field
        {"x,", ",", -1, ""},
        {",x", ",", 1, ""},
        {",x", ",", 2, "x"},
        {"", ",", 1, ""},
        {"", ",", -1, ""},
        {"", ",", 2, ""},
        {"plain", ",", 1, "plain"},
        {"plain", ",", -1, "plain"},
        {"plain", ",", 2, ""},
        {"k=v&k2=v2", "&=", 4, "v2"},
        {"a,b", ",,,", 2, "b"},   // a delimiter listed twice is still one delimiter
        {"a,b", ",", INT32_MIN, ""},
        {"a,b", ",", INT32_MAX, ""},
    };
    for (const FieldCase& c : cases) {
        EXPECT_EQ(ParseField(c.text, c.delimiters, c.index), c.field)
            << "'" << c.text << "' at '" << c.delimiters << "' index " << c.index;
    }
}

TEST(ParseField, AnyByteValueCanDelimit) {
    using namespace std::string_literals;
    EXPECT_EQ(ParseField("a\0b\xffz"s, "\xff\0"s, 2), "b");
    EXPECT_EQ(ParseField("a\0b\xffz"s, "\xff\0"s, 3), "z");
    EXPECT_EQ(ParseField("a\x80x"s, "\x80", -1), "x");
}

}  // namespace
