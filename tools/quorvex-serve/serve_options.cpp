#include "serve_options.h"

#include <cerrno>
#include <cstdlib>

namespace qv::serve {

namespace {

// Whole-text decimal number with an optional sign; false for anything else
// (including values beyond long long, which no port could be anyway).
bool ParseNumber(const std::string& text, long long& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end != nullptr && *end == '\0';
}

}  // namespace

const char* ServeUsage() {
    return "usage: quorvex-serve [--port N] [--docs DIR] [--cgi DIR] [--quiet]";
}

bool ParseServeOptions(const std::vector<std::string>& args, ServeOptions& options, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--quiet") {
            options.quiet = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg != "--port" && arg != "--docs" && arg != "--cgi") {
            error = "unknown option '" + arg + "'";
            return false;
        }
        if (i + 1 >= args.size()) {
            error = "option " + arg + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        if (arg == "--port") {
            if (!ParseNumber(value, options.port)) {
                error = "port '" + value + "' is not a number";
                return false;
            }
        } else if (value.empty()) {
            error = "option " + arg + " needs a directory";
            return false;
        } else if (arg == "--docs") {
            options.documentDir = value;
        } else {
            options.cgiDir = value;
        }
    }
    return true;
}

}  // namespace qv::serve
