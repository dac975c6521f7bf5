// Content types and the program flag by extension.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "content/content_type.h"

namespace {

struct TypeCase {
    const char* extension;
    const char* type;
    int16_t flag;
};

TEST(ContentTypeFor, Table) {
    const TypeCase cases[] = {
        {"htm", "text/html", 0},   {"HTM", "text/html", 0},    {"Html", "text/html", 0},
        {"bas", "text/html", 0},   {"txt", "text/html", 0},    {"jpg", "image/jpeg", 0},
        {"JPEG", "image/jpeg", 0}, {"gif", "image/gif", 0},    {"exe", "text/html", 1},
        {"EXE", "text/html", 1},   {"com", "text/html", 1},    {"bat", "text/html", 1},
        {"cgi", "text/html", 1},   {"Cmd", "text/html", 1},    {"bin", "text/html", 1},
        {"png", "application/octet-stream", 0},
        {"css", "application/octet-stream", 0},
        {"js", "application/octet-stream", 0},
        {"page.htm", "application/octet-stream", 0},
        {"", "application/octet-stream", 0},
        {"htm ", "application/octet-stream", 0},
        {"exe2", "application/octet-stream", 0},
        {"ex", "application/octet-stream", 0},
    };
    for (const TypeCase& c : cases) {
        int16_t flag = 7;
        EXPECT_EQ(qv::content::ContentTypeFor(c.extension, flag), c.type) << c.extension;
        EXPECT_EQ(flag, c.flag) << c.extension;
    }
}

TEST(ContentTypeFor, NonAsciiBytesAreNotFolded) {
    int16_t flag = 1;
    // 0xC5 is not a letter A-Z; it must not be mistaken for one.
    EXPECT_EQ(qv::content::ContentTypeFor("\xC5xe", flag), "application/octet-stream");
    EXPECT_EQ(flag, 0);
}

}  // namespace
