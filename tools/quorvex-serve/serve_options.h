// The command line of quorvex-serve.
#pragma once

#include <string>
#include <vector>

namespace qv::serve {

struct ServeOptions {
    long long port = 8080;    // checked by the library, so out-of-range values pass through
    std::string documentDir;  // empty: the bundled example site
    std::string cgiDir;       // empty: the document directory
    // Passed to the library's settings as they are (it judges their range).
    std::string programs = "4";                // programs run at once
    std::string uploadLimit = "1073741824";  // the largest POST body, in bytes (1 GiB)
    std::vector<std::string> binds;  // --bind: the addresses to listen on (none: the library's default)
    bool quiet = false;       // no line per request
    bool help = false;
};

// Parses argv[1..]; on failure returns false and sets `error` to a one-line reason.
bool ParseServeOptions(const std::vector<std::string>& args, ServeOptions& options, std::string& error);

const char* ServeUsage();

}  // namespace qv::serve
