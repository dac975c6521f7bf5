// quorvex-serve: a real host of the library. It configures the server through
// the exports, starts it, logs each request handed to it and declines it (so
// the file is served), and runs the message loop until Ctrl-C or SIGTERM.
#include <climits>
#include <cstdint>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "local_address.h"
#include "quorvex.h"
#include "request_log.h"
#include "serve_options.h"
#include "served_addresses.h"

namespace {

using qv::serve::ServeOptions;

int Fail(const std::string& reason) {
    std::fprintf(stderr, "quorvex-serve: %s\n", reason.c_str());
    return 1;
}

// An absolute directory name ending in '/', or empty when `dir` is not a directory.
std::string ResolveDirectory(const std::string& dir) {
    char resolved[PATH_MAX];
    struct stat info {};
    if (realpath(dir.c_str(), resolved) == nullptr || stat(resolved, &info) != 0 || !S_ISDIR(info.st_mode))
        return "";
    std::string text = resolved;
    if (text.empty() || text.back() != '/') text += '/';
    return text;
}

std::string TakeText(QvBSTR text) {
    if (text == nullptr) return "";
    std::string bytes(text, SysStringByteLen(text));
    SysFreeString(text);
    return bytes;
}

int32_t QV_CALL LogRequest(int32_t slot, const char* peer, int32_t peerLength, const char* request,
                           int32_t requestLength) {
    std::string path = TakeText(WEBSRVGETREQUEST(slot));
    if (path.empty() && request != nullptr && requestLength > 0) path.assign(request, requestLength);
    std::string from = peer != nullptr && peerLength > 0 ? std::string(peer, peerLength) : "?";
    std::printf("%s\n", qv::serve::RequestLogLine(from, path).c_str());
    std::fflush(stdout);
    return 0;  // declined: the server sends the file
}

void OnStopSignal(int) { QvPostQuitMessage(); }

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A client that hangs up mid-answer must not end the host.
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    ServeOptions options;
    std::string error;
    if (!qv::serve::ParseServeOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "quorvex-serve: %s\n%s\n", error.c_str(), qv::serve::ServeUsage());
        return 2;
    }
    if (options.help) {
        std::printf("%s\n", qv::serve::ServeUsage());
        return 0;
    }

    const std::string docsOption = options.documentDir.empty() ? QV_DEFAULT_SITE_DIR : options.documentDir;
    const std::string docs = ResolveDirectory(docsOption);
    if (docs.empty()) return Fail("document directory '" + docsOption + "' is not a directory");
    const std::string cgi = options.cgiDir.empty() ? docs : ResolveDirectory(options.cgiDir);
    if (cgi.empty()) return Fail("CGI directory '" + options.cgiDir + "' is not a directory");

    // The library judges the port; only what does not fit its argument is refused here.
    if (options.port < INT32_MIN || options.port > INT32_MAX)
        return Fail("port " + std::to_string(options.port) + " is out of range (0 to 65535)");

    SetServerDir(docs.c_str());
    WEBSRVSETCGI(cgi.c_str());
    if (WEBSRVSETOPTION("programs", options.programs.c_str()) != 0)
        return Fail("programs at once '" + options.programs + "' is out of range (1 to 64)");
    if (WEBSRVSETOPTION("upload-limit", options.uploadLimit.c_str()) != 0)
        return Fail("upload limit of " + options.uploadLimit + " bytes is out of range (0 to 2147483647)");
    const std::string listen = qv::serve::ListenSetting(options.binds);
    if (WEBSRVSETOPTION("listen", listen.c_str()) != 0)
        return Fail("--bind '" + listen + "' is not a list of IP addresses (a port goes with --port)");
    // The callback only logs: a quiet host sets none, and the library serves files by itself.
    if (!options.quiet) SetServerCallback(LogRequest);
    InstallSignalHandlers();

    const int port = static_cast<int>(options.port);
    const int listeningPort = port == 0 ? 80 : port;  // the library's rule for port 0
    const int32_t started = ServerStart(port);
    if (started == -3) return Fail("port " + std::to_string(port) + " is out of range (0 to 65535)");
    const std::vector<std::string> wanted =
        qv::serve::WantedAddresses(options.binds, qv::serve::FirstHostAddress());
    if (started != 0) {
        return Fail(qv::serve::ExplainListenFailure(
            wanted.empty() ? std::string() : qv::serve::ReachableAddress(wanted.front()), listeningPort));
    }
    const std::string urls = qv::serve::ServedUrls(wanted, listeningPort, qv::serve::AnswersAt);

    std::printf("quorvex-serve: serving %s at %s (CGI programs from %s); Ctrl-C stops\n", docs.c_str(),
                urls.c_str(), cgi.c_str());
    std::fflush(stdout);

    while (QvPumpMessages(-1) != -1) {
    }
    ServerStop();
    std::printf("quorvex-serve: stopped\n");
    return 0;
}
