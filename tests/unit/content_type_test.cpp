// Content types and the program flag by extension.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

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

namespace {

using qv::content::ContentTypeOfFile;

TEST(ContentTypeOfFile, ByTheLastDotOfTheName) {
    const std::pair<const char*, const char*> cases[] = {
        {"style.css", "text/css"},
        {"app.min.js", "text/javascript"},
        {"mod.MJS", "text/javascript"},
        {"data.json", "application/json"},
        {"app.js.map", "application/json"},
        {"pic.svg", "image/svg+xml"},
        {"pic.png", "image/png"},
        {"pic.webp", "image/webp"},
        {"pic.avif", "image/avif"},
        {"favicon.ico", "image/x-icon"},
        {"pic.bmp", "image/bmp"},
        {"f.woff", "font/woff"},
        {"f.woff2", "font/woff2"},
        {"f.ttf", "font/ttf"},
        {"f.otf", "font/otf"},
        {"m.wasm", "application/wasm"},
        {"v.mp4", "video/mp4"},
        {"v.webm", "video/webm"},
        {"a.ogg", "audio/ogg"},
        {"a.mp3", "audio/mpeg"},
        {"a.wav", "audio/wav"},
        {"d.pdf", "application/pdf"},
        {"d.xml", "application/xml"},
        {"d.csv", "text/csv"},
        {"d.zip", "application/zip"},
        {"d.tar.gz", "application/gzip"},
        // Text is text: a script inside it is never run as a page.
        {"notes.txt", "text/plain"},
        {"page.htm", "text/html"},
        {"page.HTML", "text/html"},
        {"old.bas", "text/html"},
        {"photo.jpeg", "image/jpeg"},
        {"photo.JPG", "image/jpeg"},
        {"anim.gif", "image/gif"},
        // The first-dot extension of a two-dot name no longer decides.
        {"my.page.htm", "text/html"},
        {"archive.unknown", "application/octet-stream"},
        {"noextension", "application/octet-stream"},
        {"dir.d\\plain", "application/octet-stream"},
        {"dir.d/plain", "application/octet-stream"},
        {"trailing.", "application/octet-stream"},
    };
    for (const auto& c : cases) EXPECT_EQ(ContentTypeOfFile(c.first), c.second) << c.first;
}

TEST(ContentTypeOfFile, HostTypesAddAndOverride) {
    qv::content::ClearHostContentTypes();
    EXPECT_TRUE(qv::content::SetHostContentType("md", "text/markdown"));
    EXPECT_TRUE(qv::content::SetHostContentType("TXT", "text/plain; charset=utf-8"));
    EXPECT_EQ(ContentTypeOfFile("README.MD"), "text/markdown");
    EXPECT_EQ(ContentTypeOfFile("a.txt"), "text/plain; charset=utf-8");
    // Set again: the later type holds.
    EXPECT_TRUE(qv::content::SetHostContentType("md", "text/x-markdown"));
    EXPECT_EQ(ContentTypeOfFile("b.md"), "text/x-markdown");

    const std::pair<std::string, std::string> refused[] = {
        {"", "text/plain"},
        {"x", ""},
        {".md", "text/plain"},
        {"a/b", "text/plain"},
        {"a\\b", "text/plain"},
        {std::string(33, 'e'), "text/plain"},
        {"ok", std::string(256, 't')},
        {"ok", "text/plain\r\nSet-Cookie: x=1"},
        {"ok", std::string("text/\0plain", 11)},
        {"o\tk", "text/plain"},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(qv::content::SetHostContentType(c.first, c.second)) << c.first << " " << c.second;
    }
    EXPECT_EQ(ContentTypeOfFile("x.ok"), "application/octet-stream");
    EXPECT_TRUE(qv::content::SetHostContentType(std::string(32, 'e'), std::string(255, 't')));

    // The table is bounded: new extensions past its size are refused, set ones may change.
    for (size_t i = 0; i < qv::content::kHostTypeLimit; ++i) qv::content::SetHostContentType("n" + std::to_string(i), "a/b");
    EXPECT_FALSE(qv::content::SetHostContentType("onemore", "a/b"));
    EXPECT_TRUE(qv::content::SetHostContentType("md", "text/markdown"));

    // The types by which requests are classified are not the host's to change.
    qv::content::ClearHostContentTypes();
    int16_t flag = 0;
    EXPECT_TRUE(qv::content::SetHostContentType("exe", "application/x-msdownload"));
    EXPECT_EQ(qv::content::ContentTypeFor("exe", flag), "text/html");
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(ContentTypeOfFile("b.md"), "application/octet-stream");
    qv::content::ClearHostContentTypes();
}

}  // namespace
