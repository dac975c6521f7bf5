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

// A size in bytes, with K, M or G for KiB, MiB or GiB, as decimal digits;
// empty for anything else.
std::string BytesOf(const std::string& text) {
    unsigned long long factor = 1;
    std::string digits = text;
    if (!digits.empty()) {
        switch (digits.back()) {
        case 'K': case 'k': factor = 1ull << 10; break;
        case 'M': case 'm': factor = 1ull << 20; break;
        case 'G': case 'g': factor = 1ull << 30; break;
        default: break;
        }
        if (factor != 1) digits.pop_back();
    }
    if (digits.empty() || digits.size() > 12 || digits.find_first_not_of("0123456789") != std::string::npos) return "";
    return std::to_string(std::stoull(digits) * factor);
}

}  // namespace

const char* ServeUsage() {
    return "usage: quorvex-serve [--port N] [--bind ADDR]... [--docs DIR] [--cgi DIR] [--programs N] [--max-body BYTES]"
           " [--quiet]\n"
           "  --bind ADDR       listen on this IPv4 or IPv6 address (0.0.0.0 or :: for every one), again for more;\n"
           "                    unless set: this computer's address, 127.0.0.1 and ::1\n"
           "  --programs N      programs run at once (1 to 64; 4 unless set)\n"
           "  --max-body BYTES  the largest upload a program is given, K, M or G allowed (up to 2G - 1; 1G unless set)";
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
        if (arg != "--port" && arg != "--docs" && arg != "--cgi" && arg != "--programs" && arg != "--max-body" &&
            arg != "--bind") {
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
        } else if (arg == "--bind") {
            // The library judges the address.
            options.binds.push_back(value);
        } else if (arg == "--programs") {
            options.programs = value;
        } else if (arg == "--max-body") {
            options.uploadLimit = BytesOf(value);
            if (options.uploadLimit.empty()) {
                error = "upload size '" + value + "' is not a number of bytes";
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
