// Decoding the names in URLs: escapes, and the names that must never be opened.
#include <gtest/gtest.h>

#include <string>

#include "content/url_decode.h"

namespace {

using namespace std::string_literals;

struct DecodeCase {
    const char* what;
    std::string name;
    bool accepted;
    std::string decoded;
};

TEST(DecodeName, Table) {
    const DecodeCase cases[] = {
        {"plain", "page.htm", true, "page.htm"},
        {"space", "my%20page.htm", true, "my page.htm"},
        {"UTF-8", "caf%C3%A9.htm", true, "caf\xC3\xA9.htm"},
        {"lower-case hex", "caf%c3%a9.htm", true, "caf\xC3\xA9.htm"},
        {"raw UTF-8", "caf\xC3\xA9.htm", true, "caf\xC3\xA9.htm"},
        {"plus stays", "a+b.htm", true, "a+b.htm"},
        {"percent itself", "100%25.htm", true, "100%.htm"},
        {"lone percent", "100%.htm", true, "100%.htm"},
        {"percent and one digit", "a%4.htm", true, "a%4.htm"},
        {"percent at the end", "a.htm%", true, "a.htm%"},
        {"not hex", "a%zz.htm", true, "a%zz.htm"},
        {"decoded once only", "a%2541.htm", true, "a%41.htm"},
        {"dots decode", "%2e%2e\\x.htm", true, "..\\x.htm"},
        {"four-byte character", "%F0%9F%98%80.htm", true, "\xF0\x9F\x98\x80.htm"},
        // Refused outright.
        {"escaped slash", "%2e%2e%2fsecret.htm", false, ""},
        {"escaped backslash", "..%5csecret.htm", false, ""},
        {"escaped backslash upper", "a%5Cb.htm", false, ""},
        {"NUL", "a.htm%00.txt", false, ""},
        {"control byte", "a%0d%0aSet-Cookie.htm", false, ""},
        {"tab", "a%09.htm", false, ""},
        {"delete", "a%7f.htm", false, ""},
        {"raw control byte", "a\x1f.htm", false, ""},
        {"overlong dot", "%C0%AE%C0%AE\\x.htm", false, ""},
        {"overlong slash", "%C0%AFx.htm", false, ""},
        {"overlong three bytes", "%E0%80%AFx.htm", false, ""},
        {"overlong four bytes", "%F0%80%80%AFx.htm", false, ""},
        {"surrogate", "%ED%A0%80.htm", false, ""},
        {"past U+10FFFF", "%F4%90%80%80.htm", false, ""},
        {"lone continuation", "%80.htm", false, ""},
        {"cut sequence", "caf%C3.htm", false, ""},
        {"Latin-1 byte", "caf%E9.htm", false, ""},
        {"raw Latin-1 byte", "caf\xE9.htm", false, ""},
        {"F5 lead", "%F5%80%80%80.htm", false, ""},
    };
    for (const DecodeCase& c : cases) {
        std::string decoded = "left over";
        EXPECT_EQ(qv::content::DecodeName(c.name, decoded), c.accepted) << c.what;
        if (c.accepted) {
            EXPECT_EQ(decoded, c.decoded) << c.what;
        }
    }
}

}  // namespace
