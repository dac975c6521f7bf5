// Someone who may create and rename entries in the document or program
// directory: a name swapped between a file and a link out while clients ask
// for it, links and directories planted at the exchange files' names, a
// directory set without its separator beside another one, and markup in the
// names the program-failure page shows.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "links.h"
#include "server_fixture.h"

namespace {

using qvtest::Head;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// How long each swap race runs in the suite (the soak script runs it longer).
std::chrono::milliseconds RaceTime() {
    const char* seconds = std::getenv("QUORVEX_RACE_SECONDS");
    return std::chrono::milliseconds(seconds != nullptr ? std::atoi(seconds) * 1000 : 2000);
}

class PlantedLinks : public qvtest::ServerFixture {
protected:
    static std::string Ending() { return qvtest::ProgramSuffix().empty() ? ".cgi" : ".exe"; }

    static bool Link(const fs::path& target, const fs::path& link) { return qvtest::MakeLink(target, link); }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static std::string FailurePage(const std::string& directory, const std::string& program) {
        const std::string page =
            "<P>Process failed to start.</p>\r<p>CGIDir: " + directory + "</p>\r<p>CGIExe: " + program + "</p>\r";
        return Head("HTTP/1.0 500 Internal Server Error", "text/html", page.size()) + page + "\r\n\r\n";
    }

    // Puts a plain file and a link out at `name` in turn, each by one rename,
    // until `stop`; `plain` is hard-linked anew for each turn.
    static void Swap(const fs::path& name, const fs::path& plain, const fs::path& outside, std::atomic<bool>& stop) {
        const fs::path nextPlain = name.string() + ".plain";
        const fs::path nextLink = name.string() + ".link";
        std::error_code ignored;
        while (!stop) {
            fs::remove(nextPlain, ignored);
            fs::create_hard_link(plain, nextPlain, ignored);
            fs::rename(nextPlain, name, ignored);
            fs::remove(nextLink, ignored);
            fs::create_symlink(outside, nextLink, ignored);
            fs::rename(nextLink, name, ignored);
        }
    }

    struct RaceCount {
        int inside = 0;
        int notFound = 0;
        int outside = 0;
        int other = 0;
    };

    static std::string Show(const RaceCount& c) {
        return std::to_string(c.inside) + " inside, " + std::to_string(c.notFound) + " refused, " +
               std::to_string(c.outside) + " from outside, " + std::to_string(c.other) + " other";
    }

    // Sorts answers by what they hold: a mark of the outside, a mark of the inside, the 404 answer.
    static auto Sorter(const std::string& outsideMark, const std::string& insideMark) {
        return [=](const std::string& got, RaceCount& c) {
            if (got.find(outsideMark) != std::string::npos) {
                ++c.outside;
            } else if (got.find(insideMark) != std::string::npos) {
                ++c.inside;
            } else if (got.rfind("HTTP/1.0 404 Not Found\r\n", 0) == 0 ||
                       got.find("<P>Process failed to start.</p>") != std::string::npos) {
                // Refused: the name led outside, or to nothing at the moment it was looked up.
                ++c.notFound;
            } else {
                ++c.other;
            }
        };
    }

    // Asks for `target` again and again for the race time while the name is swapped.
    template <typename Sort>
    RaceCount Race(const std::string& target, const fs::path& name, const fs::path& plain, const fs::path& outside,
                   Sort sort) {
        RaceCount count;
        std::atomic<bool> stop{false};
        std::thread swapper([&] { Swap(name, plain, outside, stop); });
        const Clock::time_point end = Clock::now() + RaceTime();
        const std::string request = "GET " + target + " HTTP/1.0\r\n\r\n";
        // One client asks in turn for the whole race while this thread serves.
        qvtest::PumpWhile([&] {
            while (Clock::now() < end) sort(qvtest::WithoutValidators(qvtest::Talk(qvtest::ServerAddress(), port_, request).received), count);
        });
        stop = true;
        swapper.join();
        std::printf("  %s: %s\n", target.c_str(), Show(count).c_str());
        return count;
    }
};

TEST_F(PlantedLinks, FileSwappedWithALinkOutIsNeverServedFromOutside) {
    const std::string secret = "SECRET from outside the documents";
    WriteFile(root_ / "outside.htm", secret);
    WriteFile(root_ / "docs" / "plain.keep", "inside");
    if (!Link(root_ / "outside.htm", root_ / "docs" / "probe.htm")) GTEST_SKIP() << "no symbolic links here";
    const std::string served = Head("HTTP/1.0 200 OK", "text/html", 6) + "inside\r\n\r\n";
    RaceCount count = Race("/swap.htm", root_ / "docs" / "swap.htm", root_ / "docs" / "plain.keep",
                           root_ / "outside.htm", Sorter("SECRET", served));
    EXPECT_EQ(count.outside, 0) << Show(count);
    EXPECT_EQ(count.other, 0) << Show(count);
    EXPECT_GT(count.inside, 0) << Show(count);
    EXPECT_EQ(Read(root_ / "outside.htm"), secret);
}

TEST_F(PlantedLinks, ProgramSwappedWithALinkOutNeverRunsTheOutsideProgram) {
    // Inside: the echo program ("ARG=..."); outside: one that prints numbered records.
    fs::copy_file(qvtest::TestProgramPath("cgi_echo"), root_ / "cgi" / ("plain" + Ending()));
    fs::copy_file(qvtest::TestProgramPath("cgi_big"), root_ / ("outside" + Ending()));
    if (!Link(root_ / ("outside" + Ending()), root_ / "cgi" / ("probe" + Ending()))) {
        GTEST_SKIP() << "no symbolic links here";
    }
    RaceCount count = Race("/swap" + Ending() + "?q", root_ / "cgi" / ("swap" + Ending()),
                           root_ / "cgi" / ("plain" + Ending()), root_ / ("outside" + Ending()),
                           Sorter("000000000.", "ARG="));
    EXPECT_EQ(count.outside, 0) << Show(count);
    EXPECT_EQ(count.other, 0) << Show(count);
    EXPECT_GT(count.inside, 0) << Show(count);
}

// Whatever is at an exchange file's name, of any slot, is left alone: no
// program runs, nothing is written through a link, nothing is made outside.
TEST_F(PlantedLinks, ThingsAtTheExchangeFileNamesStopTheProgramAndStayUntouched) {
    fs::copy_file(qvtest::TestProgramPath("cgi_echo"), root_ / "cgi" / ("echo" + Ending()));
    const std::string precious = "precious outside file";
    WriteFile(root_ / "precious.txt", precious);
    fs::create_directories(root_ / "landing");
    const char* const prefixes[] = {"QuorvexOut", "QuorvexIn", "QuorvexErr"};
    enum class Planted { Link, Dangling, Directory };
    for (Planted planted : {Planted::Directory, Planted::Link, Planted::Dangling}) {
        bool made = true;
        for (int slot = 0; slot <= 500 && made; ++slot) {
            for (const char* prefix : prefixes) {
                const std::string file = prefix + std::to_string(slot) + ".TMP";
                const fs::path name = root_ / "cgi" / file;
                if (planted == Planted::Directory) made = made && fs::create_directory(name);
                if (planted == Planted::Link) made = made && Link(root_ / "precious.txt", name);
                if (planted == Planted::Dangling) made = made && Link(root_ / "landing" / file, name);
            }
        }
        if (!made) continue;  // no links here
        for (const std::string& program : {"echo" + Ending(), "nothere" + Ending()}) {
            std::string got = Get("/" + program + "?overwritten");
            EXPECT_EQ(got, FailurePage(cgi_, program)) << static_cast<int>(planted);
        }
        EXPECT_EQ(Read(root_ / "precious.txt"), precious);
        EXPECT_TRUE(fs::is_empty(root_ / "landing"));
        // What was planted is still there, as it was.
        EXPECT_EQ(fs::symlink_status(root_ / "cgi" / "QuorvexIn7.TMP").type(),
                  planted == Planted::Directory ? fs::file_type::directory : fs::file_type::symlink);
        for (const auto& entry : fs::directory_iterator(root_ / "cgi")) {
            if (entry.path().filename().string().rfind("Quorvex", 0) == 0) fs::remove(entry.path());
        }
    }
    // A left-over plain file is emptied and used as before.
    for (int slot = 0; slot <= 500; ++slot) {
        for (const char* prefix : prefixes) {
            WriteFile(root_ / "cgi" / (prefix + std::to_string(slot) + ".TMP"), "left over");
        }
    }
    std::string got = Get("/echo" + Ending() + "?fresh");
    EXPECT_NE(got.find("STDIN=fresh"), std::string::npos) << got.substr(0, 300);
}

TEST_F(PlantedLinks, DirectorySetWithoutItsSeparatorServesNothingBesideIt) {
    fs::create_directories(root_ / "docs-private");
    WriteFile(root_ / "docs-private" / "s.txt", "private");
    WriteFile(root_ / "docs" / "page.htm", "page");
    fs::create_directories(root_ / "cgi-private");
    fs::copy_file(qvtest::TestProgramPath("cgi_echo"), root_ / "cgi-private" / ("p" + Ending()));
    fs::copy_file(qvtest::TestProgramPath("cgi_echo"), root_ / "cgi" / ("echo" + Ending()));
    const qvtest::Api& a = qvtest::api();
    const std::string docs = (root_ / "docs").string();
    const std::string cgi = (root_ / "cgi").string();
    a.SetServerDir(docs.c_str());
    a.WEBSRVSETCGI(cgi.c_str());

    EXPECT_EQ(Get("/page.htm"), Head("HTTP/1.0 200 OK", "text/html", 4) + "page\r\n\r\n");
    for (const char* target : {"/-private/s.txt", "/-private\\s.txt"}) {
        EXPECT_EQ(Get(target).rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u) << target;
    }
    std::string got = Get("/-private/p" + Ending());
    EXPECT_EQ(got.find("ARG="), std::string::npos);
    EXPECT_NE(Get("/echo" + Ending()).find("ARG="), std::string::npos);
    // The directory as the server now uses it, separator included.
    EXPECT_EQ(Get("/nothere" + Ending()), FailurePage(cgi_, "nothere" + Ending()));

    // A name that is no directory stays a prefix of names in the directory that holds it, and only there.
    WriteFile(root_ / "docs" / "prefix.htm", "prefixed");
    fs::create_directories(root_ / "docs" / "pre-sub");
    WriteFile(root_ / "docs" / "pre-sub" / "x.htm", "deeper");
    const std::string prefix = (root_ / "docs" / "pre").string();
    a.SetServerDir(prefix.c_str());
    EXPECT_EQ(Get("/fix.htm"), Head("HTTP/1.0 200 OK", "text/html", 8) + "prefixed\r\n\r\n");
    EXPECT_EQ(Get("/-sub/x.htm").rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u);
}

TEST_F(PlantedLinks, FailurePageShowsNamesAsText) {
    fs::create_directories(root_ / "a&b");
    const std::string cgi = (root_ / "a&b").string() + qvtest::DirectorySeparator();
    qvtest::api().WEBSRVSETCGI(cgi.c_str());
    const std::string escapedDirectory = (root_ / "a&amp;b").string() + qvtest::DirectorySeparator();
    struct Case {
        const char* target;
        const char* shown;
    } cases[] = {
        {"/<b>x<i>y.cgi", "&lt;b&gt;x&lt;i&gt;y.cgi"},
        {"/q\"uote&amp.cgi", "q&quot;uote&amp;amp.cgi"},
        {"/plain.cgi", "plain.cgi"},
    };
    for (const Case& c : cases) {
        std::string got = Get(c.target);
        EXPECT_EQ(got, FailurePage(escapedDirectory, c.shown)) << c.target;
        EXPECT_EQ(got.find("<b>"), std::string::npos) << c.target;
    }
}

}  // namespace
