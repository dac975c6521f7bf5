// Names the server may join to its directories, and program names the
// command interpreter reads as nothing more than a name.
#include <gtest/gtest.h>

#include <string>

#include "content/path_safety.h"

namespace {

using namespace std::string_literals;
using qv::content::IsBatchExtension;
using qv::content::IsContainedRelativeName;
using qv::content::IsSafeBatchProgramName;

TEST(PathSafety, ContainedNames) {
    const char* const safe[] = {
        "default.htm", "docs\\default.htm", "a/b/c.txt", "a%20b.htm", ".htm",
        "my.page.htm", "prog?x=1.htm", "console.htm", "nul1.txt", "com10.txt", "lpt0.txt",
        "COMA.txt", "com\xB4.htm", "conin.htm", "auxiliary\\x.htm", "con_x.htm", "x~a.htm", "~\\a.htm", "a~.htm",
        "...x.htm", "dir.d\\f.htm", "\xC0\xFF.htm",
        // A '~' and digits that do not make the shape of a short alias.
        "report~2024.htm", "a~1b.htm", "abcdefg~1.htm", "abcdef~123.htm", "ab~1.html", "ab~1.x.htm", "ab~.htm",
    };
    for (const char* name : safe) EXPECT_TRUE(IsContainedRelativeName(name)) << name;
}

TEST(PathSafety, EscapingOrTrickNames) {
    const std::string unsafe[] = {
        "",
        "\\x.htm",             // absolute
        "/etc/passwd",
        "..\\secret.txt",      // parent directory
        "a\\..\\..\\b.txt",
        "a/../b.txt",
        "..",
        ".\\a.htm",            // "." components too
        "a\\.\\b.htm",
        "C:\\Windows\\win.ini",  // drive letter
        "c:win.ini",
        "file.htm::$DATA",     // alternate data stream
        "a.htm:stream",
        "page.htm.",           // Windows strips the trailing dot...
        "page.htm ",           // ...and the trailing space
        "dir.\\a.htm",
        "dir \\a.htm",
        "con", "CON.htm", "con.txt", "Prn.htm", "aux.x.y", "NUL", "nul.htm",
        "com1.htm", "COM9", "lpt1.txt", "LpT9.htm", "con .txt", "docs\\aux.htm",
        "conin$", "CONOUT$.txt", "com\xB9.htm", "LPT\xB3",
        "PROGRA~1\\x.htm",     // short-name aliases, of a folder or a file
        "a~9.htm", "REPORT~2.HTM", "report~1", "docs\\DEFAUL~1.HTM", "ab~12345.htm", "AB~1.H", "~1.htm",
        "a\\\\b.htm",          // empty component
        "docs\\",
        "a\tb.htm",            // control bytes
        "a\rb.htm",
        "a\0b.htm"s,
        "a\x1f.htm",
    };
    for (const std::string& name : unsafe) EXPECT_FALSE(IsContainedRelativeName(name)) << name;
}

TEST(PathSafety, BatchExtensions) {
    const std::pair<const char*, bool> cases[] = {
        {"bat", true}, {"BAT", true}, {"Cmd", true}, {"cmd", true},
        {"exe", false}, {"com", false}, {"bat ", false}, {"batch", false}, {"", false}, {"cm", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsBatchExtension(c.first), c.second) << c.first;
}

TEST(PathSafety, BatchProgramNames) {
    const char* const safe[] = {"run.bat", "tools\\report.cmd", "a-b_c+d.bat", "v1.2.bat"};
    for (const char* name : safe) EXPECT_TRUE(IsSafeBatchProgramName(name)) << name;

    const char* const unsafe[] = {
        "a&calc.bat", "a|b.bat", "a<b.bat", "a>b.bat", "a^b.bat", "%PATH%.bat", "a!x!.bat",
        "a\"b.bat", "a(b).bat", "a,b.bat", "a;b.bat", "a=b.bat", "a b.bat", "a\tb.bat",
        "a\nb.bat",
        // Everything a contained name may not hold either.
        "..\\x.bat", "C:\\x.bat", "\\x.bat", "con.bat", "",
    };
    for (const char* name : unsafe) EXPECT_FALSE(IsSafeBatchProgramName(name)) << name;
}

}  // namespace
