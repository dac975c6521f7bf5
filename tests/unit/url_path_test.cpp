// Request line to mapped path, extension, program name and query.
#include <gtest/gtest.h>

#include <string>

#include "content/url_path.h"

namespace {

using qv::content::MapUrlToPath;
using qv::content::PathExtension;
using qv::content::SplitProgramQuery;

struct MappingCase {
    const char* line;
    int start;
    const char* path;
};

TEST(MapUrlToPath, RequestLines) {
    const MappingCase cases[] = {
        {"GET / HTTP/1.0", 5, "default.htm"},
        {"GET \\ HTTP/1.0", 5, "default.htm"},
        {"GET /docs/ HTTP/1.0", 5, "docs\\default.htm"},
        {"GET /docs HTTP/1.0", 5, "docs.htm"},
        {"GET /a/b.txt HTTP/1.0", 5, "a\\b.txt"},
        {"GET /a\\b.txt HTTP/1.0", 5, "a\\b.txt"},
        {"GET //x HTTP/1.0", 5, "\\x.htm"},
        {"GET /page.htm", 5, "page.htm"},
        {"GET  /page.htm HTTP/1.0", 5, ".htm"},
        {"HEAD /page.htm HTTP/1.0", 5, ".htm"},
        {"HEAD /page.htm HTTP/1.0", 6, "page.htm"},
        {"POST /form.exe HTTP/1.0", 6, "form.exe"},
        {"GET /prog.exe?a=1&b=2 HTTP/1.0", 5, "prog.exe?a=1&b=2"},
        {"GET /prog?x=1 HTTP/1.0", 5, "prog?x=1.htm"},
        {"GET /prog?x=1.5 HTTP/1.0", 5, "prog?x=1.5"},
        {"GET /my.page.htm HTTP/1.0", 5, "my.page.htm"},
        {"GET /a%20b.htm HTTP/1.0", 5, "a%20b.htm"},
        {"GET /a+b HTTP/1.0", 5, "a+b.htm"},
        {"GET /../secret.txt HTTP/1.0", 5, "..\\secret.txt"},
        {"GET /Docs/Index.HTM HTTP/1.1 extra", 5, "Docs\\Index.HTM"},
        {"GET /cmd/run?x=1 HTTP/1.0", 5, "cmd\\run?x=1.htm"},
        {"GET /dir/?q=a/b HTTP/1.0", 5, "dir\\?q=a\\b.htm"},
        {"GET", 5, ".htm"},
        {"", 5, ".htm"},
        {"GET /x.txt", 100, ".htm"},
        {"/a.txt", 0, "a.txt"},
    };
    for (const MappingCase& c : cases) {
        EXPECT_EQ(MapUrlToPath(c.line, c.start), c.path) << c.line << " from " << c.start;
    }
}

TEST(PathExtension, FirstDotToQuestionMark) {
    const std::pair<const char*, const char*> cases[] = {
        {"default.htm", "htm"},
        {"prog.exe?a=1&b=2", "exe"},
        {"prog?x=1.htm", "htm"},
        {"prog?x=1.5", "5"},
        {"my.page.htm", "page.htm"},
        {"docs\\default.htm", "htm"},
        {"a.b?c?d", "b"},
        {"file.", ""},
        {".htm", "htm"},
        {"x.?y", ""},
        // Without a dot the extension starts at the first byte.
        {"noext", "noext"},
        {"noext?q", "noext"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(PathExtension(c.first), c.second) << c.first;
}

struct SplitCase {
    const char* path;
    const char* program;
    const char* query;
};

TEST(SplitProgramQuery, AtFirstQuestionMark) {
    const SplitCase cases[] = {
        {"prog.exe?a=1&b=2", "prog.exe", "a=1&b=2"},
        {"prog?x=1.htm", "prog", "x=1.htm"},
        {"cgi\\run.exe?", "cgi\\run.exe", ""},
        {"a.exe?b?c", "a.exe", "b?c"},
        {"?only", "", "only"},
        {"page.htm", "page.htm", ""},
        {"", "", ""},
    };
    for (const SplitCase& c : cases) {
        std::string query = "stale", program = "stale";
        SplitProgramQuery(c.path, query, program);
        EXPECT_EQ(program, c.program) << c.path;
        EXPECT_EQ(query, c.query) << c.path;
    }
}

TEST(SplitProgramQuery, PathMayBeOneOfTheOutputs) {
    std::string path = "run.exe?x=1";
    std::string query;
    SplitProgramQuery(path, query, path);
    EXPECT_EQ(path, "run.exe");
    EXPECT_EQ(query, "x=1");

    std::string other = "run.exe?y=2";
    std::string program;
    SplitProgramQuery(other, other, program);
    EXPECT_EQ(program, "run.exe");
    EXPECT_EQ(other, "y=2");
}

}  // namespace

namespace {

TEST(FileTargetOf, NameWithoutTheQuery) {
    struct Case {
        const char* url;
        const char* path;
        const char* query;
        bool hasQuery;
        bool htmAdded;
    } cases[] = {
        {"/style.css?v=3", "style.css", "v=3", true, false},
        {"/style.css", "style.css", "", false, false},
        {"/docs", "docs.htm", "", false, true},
        {"/docs?x=1", "docs.htm", "x=1", true, true},
        {"/docs/", "docs\\default.htm", "", false, false},
        {"/docs/?x=1", "docs\\default.htm", "x=1", true, false},
        {"/", "default.htm", "", false, false},
        {"/?a=b.c", "default.htm", "a=b.c", true, false},
        {"/a/b?c?d", "a\\b.htm", "c?d", true, true},
        {"", ".htm", "", false, false},
        {"/?", "default.htm", "", true, false},
    };
    for (const Case& c : cases) {
        const qv::content::FileTarget target = qv::content::FileTargetOf(c.url);
        EXPECT_EQ(target.path, c.path) << c.url;
        EXPECT_EQ(target.query, c.query) << c.url;
        EXPECT_EQ(target.hasQuery, c.hasQuery) << c.url;
        EXPECT_EQ(target.htmAdded, c.htmAdded) << c.url;
    }
}

}  // namespace
