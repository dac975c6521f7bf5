// The one range a client may ask of a file.
#include <gtest/gtest.h>

#include <string>

#include "content/byte_range.h"

namespace {

using qv::content::ByteRange;
using Kind = ByteRange::Kind;

struct RangeCase {
    const char* range;
    uint64_t size;
    Kind kind;
    uint64_t first;
    uint64_t length;
};

TEST(ChooseRange, Table) {
    const RangeCase cases[] = {
        {"", 100, Kind::Whole, 0, 0},
        {"bytes=0-9", 100, Kind::Part, 0, 10},
        {"bytes=10-19", 100, Kind::Part, 10, 10},
        {"Bytes=10-19", 100, Kind::Part, 10, 10},
        {"bytes= 10 - 19 ", 100, Kind::Part, 10, 10},
        {"bytes=99-99", 100, Kind::Part, 99, 1},
        {"bytes=50-", 100, Kind::Part, 50, 50},
        {"bytes=0-", 100, Kind::Part, 0, 100},
        {"bytes=-10", 100, Kind::Part, 90, 10},
        {"bytes=-1000", 100, Kind::Part, 0, 100},
        // The end is cut to the file.
        {"bytes=90-1000", 100, Kind::Part, 90, 10},
        {"bytes=0-99999999999999999999999", 100, Kind::Part, 0, 100},
        // Past the end, or nothing at all: not satisfiable.
        {"bytes=100-", 100, Kind::Unsatisfiable, 0, 0},
        {"bytes=100-200", 100, Kind::Unsatisfiable, 0, 0},
        {"bytes=99999999999999999999999-", 100, Kind::Unsatisfiable, 0, 0},
        {"bytes=-0", 100, Kind::Unsatisfiable, 0, 0},
        {"bytes=0-", 0, Kind::Unsatisfiable, 0, 0},
        {"bytes=-5", 0, Kind::Unsatisfiable, 0, 0},
        // Several ranges or anything malformed: the whole file.
        {"bytes=0-1,5-6", 100, Kind::Whole, 0, 0},
        {"bytes=0-1, 5-", 100, Kind::Whole, 0, 0},
        {"bytes=5-1", 100, Kind::Whole, 0, 0},
        {"bytes=-", 100, Kind::Whole, 0, 0},
        {"bytes=a-b", 100, Kind::Whole, 0, 0},
        {"bytes=-5-", 100, Kind::Whole, 0, 0},
        {"bytes=+1-2", 100, Kind::Whole, 0, 0},
        {"bytes=1", 100, Kind::Whole, 0, 0},
        {"bytes 0-9", 100, Kind::Whole, 0, 0},
        {"items=0-9", 100, Kind::Whole, 0, 0},
        {"bytes=", 100, Kind::Whole, 0, 0},
    };
    for (const RangeCase& c : cases) {
        const ByteRange got = qv::content::ChooseRange(c.range, c.size);
        EXPECT_EQ(got.kind, c.kind) << c.range;
        if (c.kind == Kind::Part) {
            EXPECT_EQ(got.first, c.first) << c.range;
            EXPECT_EQ(got.length, c.length) << c.range;
        }
    }
}

TEST(ChooseRange, ContentRangeNamesFirstLastAndSize) {
    EXPECT_EQ(qv::content::ContentRangeOf(qv::content::ChooseRange("bytes=-10", 100), 100), "bytes 90-99/100");
    EXPECT_EQ(qv::content::ContentRangeOf(qv::content::ChooseRange("bytes=0-0", 1), 1), "bytes 0-0/1");
}

}  // namespace
