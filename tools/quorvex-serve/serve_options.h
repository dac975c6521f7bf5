// The command line of quorvex-serve.
#pragma once

#include <string>
#include <vector>

namespace qv::serve {

struct ServeOptions {
    long long port = 8080;    // checked by the library, so out-of-range values pass through
    std::string documentDir;  // empty: the bundled example site
    std::string cgiDir;       // empty: the document directory
    bool quiet = false;       // no line per request
    bool help = false;
};

// Parses argv[1..]; on failure returns false and sets `error` to a one-line reason.
bool ParseServeOptions(const std::vector<std::string>& args, ServeOptions& options, std::string& error);

const char* ServeUsage();

}  // namespace qv::serve
