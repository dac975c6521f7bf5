// Entity tags, HTTP dates and the conditions of a request.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "content/validators.h"

namespace {

using qv::content::FileValidators;

TEST(HttpDate, WritesAndReadsTheFixedForm) {
    const std::pair<int64_t, const char*> cases[] = {
        {0, "Thu, 01 Jan 1970 00:00:00 GMT"},
        {784111777, "Sun, 06 Nov 1994 08:49:37 GMT"},
        {951782400, "Tue, 29 Feb 2000 00:00:00 GMT"},
        {1796947199, "Thu, 10 Dec 2026 23:59:59 GMT"},
        {4102444800, "Fri, 01 Jan 2100 00:00:00 GMT"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qv::content::HttpDate(c.first), c.second);
        int64_t back = -1;
        EXPECT_TRUE(qv::content::ParseHttpDate(c.second, back)) << c.second;
        EXPECT_EQ(back, c.first) << c.second;
    }
    const char* const refused[] = {
        "", "Sun, 06 Nov 1994 08:49:37", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
        "Sun, 06 Nox 1994 08:49:37 GMT", "Sun, 06 Nov 1994 25:49:37 GMT", "Sun, 32 Nov 1994 08:49:37 GMT",
        "Sun, 06 Nov 1994 08:49:37 GMTX",
    };
    for (const char* text : refused) {
        int64_t seconds = 0;
        EXPECT_FALSE(qv::content::ParseHttpDate(text, seconds)) << text;
    }
}

TEST(EntityTag, ChangesWithSizeAndTime) {
    EXPECT_EQ(qv::content::EntityTag(255, 16), "\"ff-10\"");
    EXPECT_NE(qv::content::EntityTag(1, 2), qv::content::EntityTag(2, 1));
}

TEST(Conditions, NotModified) {
    FileValidators file{qv::content::EntityTag(10, 784111777), 784111777};
    const std::string tag = file.tag;
    struct Case {
        const char* what;
        std::string ifNoneMatch;
        std::string ifModifiedSince;
        bool notModified;
    } cases[] = {
        {"nothing asked", "", "", false},
        {"same tag", tag, "", true},
        {"tag in a list", "\"other\", " + tag, "", true},
        {"weak form of the tag", "W/" + tag, "", true},
        {"any", "*", "", true},
        {"other tag", "\"other\"", "", false},
        {"other tag wins over a date", "\"other\"", "Sun, 06 Nov 1994 08:49:37 GMT", false},
        {"same date", "", "Sun, 06 Nov 1994 08:49:37 GMT", true},
        {"later date", "", "Mon, 07 Nov 1994 08:49:37 GMT", true},
        {"earlier date", "", "Sun, 06 Nov 1994 08:49:36 GMT", false},
        {"unreadable date", "", "yesterday", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qv::content::NotModified(file, c.ifNoneMatch, c.ifModifiedSince), c.notModified) << c.what;
    }
}

TEST(Conditions, IfRange) {
    FileValidators file{qv::content::EntityTag(10, 784111777), 784111777};
    EXPECT_TRUE(qv::content::IfRangeHolds(file, ""));
    EXPECT_TRUE(qv::content::IfRangeHolds(file, file.tag));
    EXPECT_TRUE(qv::content::IfRangeHolds(file, "Sun, 06 Nov 1994 08:49:37 GMT"));
    EXPECT_FALSE(qv::content::IfRangeHolds(file, "\"other\""));
    EXPECT_FALSE(qv::content::IfRangeHolds(file, "W/" + file.tag));
    EXPECT_FALSE(qv::content::IfRangeHolds(file, "Mon, 07 Nov 1994 08:49:37 GMT"));
    EXPECT_FALSE(qv::content::IfRangeHolds(file, "garbage"));
}

}  // namespace
