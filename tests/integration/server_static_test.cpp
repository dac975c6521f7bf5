// Files from the document directory: exact bytes, the 404 answer, names that
// would leave the directory, and requests that never complete.
#include <filesystem>
#include <vector>

#include "abrupt_client.h"
#include "server_fixture.h"

namespace {

using qvtest::Head;
namespace fs = std::filesystem;

class StaticFiles : public qvtest::ServerFixture {};

struct FileCase {
    const char* file;
    const char* target;
    std::string body;
    const char* type;
};

TEST_F(StaticFiles, ExactBytesOfFileAnswers) {
    const FileCase cases[] = {
        {"page.htm", "/page.htm", "hello\r\nworld", "text/html"},
        {"default.htm", "/", "<p>root</p>", "text/html"},
        {"pic.GIF", "/pic.GIF", std::string("GIF89a\0\x01\xff", 9), "image/gif"},
        {"data.bin2", "/data.bin2", "zz", "application/octet-stream"},
        {"empty.txt", "/empty.txt", "", "text/plain"},
    };
    for (const FileCase& c : cases) {
        WriteFile(root_ / "docs" / c.file, c.body);
        EXPECT_EQ(Get(c.target), Head("HTTP/1.0 200 OK", c.type, c.body.size()) + c.body + "\r\n\r\n") << c.target;
    }
    fs::create_directories(root_ / "docs" / "sub");
    WriteFile(root_ / "docs" / "sub" / "in.htm", "inner");
    EXPECT_EQ(Get("/sub/in.htm"), Head("HTTP/1.0 200 OK", "text/html", 5) + "inner\r\n\r\n");
}

// The 404 answer: a real status line and header over the built-in page.
void ExpectNotFound(const std::string& got, const std::string& what) {
    const std::string head = "HTTP/1.0 404 Not Found\r\nServer: Quorvex Version 1.0\r\nContent-Type: text/html\r\n"
                             "Accept-Ranges: bytes\r\nContent-Length: ";
    ASSERT_EQ(got.compare(0, head.size(), head), 0) << what << ": " << got.substr(0, 200);
    size_t end = got.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos) << what;
    size_t length = std::stoul(got.substr(head.size(), end - head.size()));
    std::string page = got.substr(end + 4);
    ASSERT_EQ(page.size(), length + 2) << what;
    EXPECT_EQ(page.compare(0, 10, "<html>\r\n\r\n"), 0) << what;
    EXPECT_EQ(page.substr(page.size() - 11), "</html>\r\n\r\n") << what;
    EXPECT_NE(page.find("HTTP 404 Not Found"), std::string::npos) << what;
}

TEST_F(StaticFiles, MissingFileGets404) { ExpectNotFound(Get("/nothing.htm"), "missing"); }

// A directory gets the 404 at once, and a method without a file to serve
// its own answer at once (the empty name of such a request is never looked
// up in the directory for a minute).
TEST_F(StaticFiles, DirectoryAndUnknownMethodAnsweredAtOnce) {
    WriteFile(root_ / "docs" / "present.htm", "x");
    fs::create_directories(root_ / "docs" / "folder.d");
    const std::string options = Ask("OPTIONS / HTTP/1.0\r\n\r\n");
    EXPECT_EQ(options.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << options.substr(0, 100);
    const std::string unknown = Ask("FETCH / HTTP/1.0\r\n\r\n");
    EXPECT_EQ(unknown.rfind("HTTP/1.0 501 Not Implemented\r\n", 0), 0u) << unknown.substr(0, 100);
    ExpectNotFound(Get("/folder.d"), "directory");
}

TEST_F(StaticFiles, NamesLeavingTheDirectoryGet404) {
    const std::string secret = "secret outside the documents";
    WriteFile(root_ / "outside.htm", secret);
    fs::create_directories(root_ / "docs" / "inner");
    std::vector<std::string> targets = {"/../outside.htm", "/..\\outside.htm", "/inner/../../outside.htm"};
    // Where the file system offers symbolic links, links out are refused too.
    std::error_code noLinks;
    fs::create_symlink(root_ / "outside.htm", root_ / "docs" / "link.htm", noLinks);
    if (!noLinks) fs::create_directory_symlink(root_, root_ / "docs" / "up", noLinks);
    if (!noLinks) {
        targets.push_back("/link.htm");
        targets.push_back("/up/outside.htm");
    }
    for (const std::string& target : targets) {
        std::string got = Get(target);
        ExpectNotFound(got, target);
        EXPECT_EQ(got.find(secret), std::string::npos) << target;
    }
    std::string absolute = (root_ / "outside.htm").string();
    std::string got = Get("/" + absolute);
    ExpectNotFound(got, absolute);
    EXPECT_EQ(got.find(secret), std::string::npos);
}

// The document directory named through a link, as a site moved to a new
// release by moving the link: the new directory is served at once, and
// nothing of the old one, even by a link back into it.
TEST_F(StaticFiles, DocumentDirectoryNamedThroughALinkFollowsTheLink) {
    fs::create_directories(root_ / "release1");
    fs::create_directories(root_ / "release2");
    WriteFile(root_ / "release1" / "page.htm", "one");
    WriteFile(root_ / "release1" / "old.htm", "only in the old release");
    WriteFile(root_ / "release2" / "page.htm", "two");
    std::error_code noLinks;
    fs::create_directory_symlink(root_ / "release1", root_ / "current", noLinks);
    if (noLinks) GTEST_SKIP() << "no symbolic links on this file system";
    const std::string current = (root_ / "current").string() + qvtest::DirectorySeparator();
    qvtest::api().SetServerDir(current.c_str());
    EXPECT_EQ(Get("/page.htm"), Head("HTTP/1.0 200 OK", "text/html", 3) + "one\r\n\r\n");
    EXPECT_EQ(Get("/old.htm"), Head("HTTP/1.0 200 OK", "text/html", 23) + "only in the old release\r\n\r\n");

    fs::remove(root_ / "current");
    fs::create_directory_symlink(root_ / "release2", root_ / "current");
    EXPECT_EQ(Get("/page.htm"), Head("HTTP/1.0 200 OK", "text/html", 3) + "two\r\n\r\n");
    ExpectNotFound(Get("/old.htm"), "a file of the previous release");
    fs::create_symlink(root_ / "release1" / "old.htm", root_ / "release2" / "back.htm");
    ExpectNotFound(Get("/back.htm"), "a link back into the previous release");

    // The directory itself moved, and the link with it: the same directory under a new name.
    fs::rename(root_ / "release2", root_ / "moved");
    fs::remove(root_ / "current");
    fs::create_directory_symlink(root_ / "moved", root_ / "current");
    EXPECT_EQ(Get("/page.htm"), Head("HTTP/1.0 200 OK", "text/html", 3) + "two\r\n\r\n");
    ExpectNotFound(Get("/back.htm"), "a link back, after the move");
}

// A client that has finished sending without the header's empty line gets no bytes, at once.
TEST_F(StaticFiles, RequestsWithoutTheEmptyLineGetNoBytes) {
    WriteFile(root_ / "docs" / "index.htm", "x");
    for (const char* request : {"GET /index.htm HTTP/1.0\n", "GET /index.htm HTTP/1.0\r\nHost: h\r\n"}) {
        qvtest::Exchange got;
        qvtest::PumpWhile([&] {
            got = qvtest::TalkAndEnd(qvtest::ServerAddress(), port_, request, qvtest::ClientEnding::HalfClose, 10000);
        });
        EXPECT_EQ(got.received, "") << request;
        EXPECT_TRUE(got.closedByServer) << request;
    }
}

// A request in pieces is answered once its header is in, however the pieces
// are spaced.
TEST_F(StaticFiles, RequestInPiecesIsAnsweredOnceItsHeaderIsIn) {
    WriteFile(root_ / "docs" / "index.htm", "pieces");
    const std::string request = "GET /index.htm HTTP/1.0\r\nHost: h\r\nUser-Agent: u\r\n\r\n";
    const std::string answer = Head("HTTP/1.0 200 OK", "text/html", 6) + "pieces\r\n\r\n";
    struct Case {
        int pieces;
        int pauseMs;
    } cases[] = {{1, 0}, {3, 20}, {2, 250}, {3, 150}};
    for (const Case& c : cases) {
        EXPECT_EQ(Ask(request, c.pieces, c.pauseMs), answer) << c.pieces << " pieces, " << c.pauseMs << " ms apart";
    }
}

}  // namespace
