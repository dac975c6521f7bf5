// quorvex-serve.exe: a real Windows host of the library. It loads quorvex.dll,
// configures the server through the exports, logs each request handed to it
// and declines it (so the file is served), and runs a standard message loop
// until Ctrl-C.
#include <windows.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "library_exports.h"
#include "listen_failure.h"
#include "request_log.h"
#include "serve_options.h"
#include "served_addresses.h"

namespace {

qv::serve::LibraryExports g_library;
bool g_quiet = false;
DWORD g_loopThread = 0;

int Fail(const std::string& reason) {
    std::fprintf(stderr, "quorvex-serve: %s\n", reason.c_str());
    return 1;
}

// The bundled site as a Windows name. The build gives its Linux path; Wine
// shows the Linux root as drive Z:, so "/work/x/" becomes "Z:\work\x\".
std::string BundledSiteDirectory() {
    std::string name = std::string("Z:") + QV_SOURCE_SITE_DIR;
    for (char& c : name)
        if (c == '/') c = '\\';
    return name;
}

// A full directory name ending in '\', or empty when `dir` is not a directory.
std::string ResolveDirectory(const std::string& dir) {
    char full[MAX_PATH * 4];
    DWORD length = GetFullPathNameA(dir.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) return "";
    DWORD attributes = GetFileAttributesA(full);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return "";
    std::string text(full, length);
    if (text.back() != '\\') text += '\\';
    return text;
}

std::string TakeText(QvBSTR text) {
    if (text == nullptr) return "";
    std::string bytes(reinterpret_cast<const char*>(text), SysStringByteLen(text));
    SysFreeString(text);
    return bytes;
}

int32_t QV_CALL LogRequest(int32_t slot, const char* peer, int32_t peerLength, const char* request,
                           int32_t requestLength) {
    std::string path = TakeText(g_library.WEBSRVGETREQUEST(slot));
    if (path.empty() && request != nullptr && requestLength > 0) path.assign(request, requestLength);
    std::string from = peer != nullptr && peerLength > 0 ? std::string(peer, peerLength) : "?";
    std::printf("%s\n", qv::serve::RequestLogLine(from, path).c_str());
    std::fflush(stdout);
    return 0;  // declined: the server sends the file
}

// Runs on a thread of its own: the loop thread is told to quit.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        PostThreadMessageA(g_loopThread, WM_QUIT, 0, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int main(int argc, char** argv) {
    qv::serve::ServeOptions options;
    std::string error;
    if (!qv::serve::ParseServeOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "quorvex-serve: %s\n%s\n", error.c_str(), qv::serve::ServeUsage());
        return 2;
    }
    if (options.help) {
        std::printf("%s\n", qv::serve::ServeUsage());
        return 0;
    }
    g_quiet = options.quiet;

    const std::string docsOption = options.documentDir.empty() ? BundledSiteDirectory() : options.documentDir;
    const std::string docs = ResolveDirectory(docsOption);
    if (docs.empty()) return Fail("document directory '" + docsOption + "' is not a directory");
    const std::string cgi = options.cgiDir.empty() ? docs : ResolveDirectory(options.cgiDir);
    if (cgi.empty()) return Fail("CGI directory '" + options.cgiDir + "' is not a directory");
    // The library judges the port; only what does not fit its argument is refused here.
    if (options.port < INT32_MIN || options.port > INT32_MAX)
        return Fail("port " + std::to_string(options.port) + " is out of range (0 to 65535)");

    // The library's notification window belongs to the thread that loads it:
    // this one, which runs the message loop below.
    if (!qv::serve::LoadLibraryExports("quorvex.dll", g_library, error)) return Fail(error);
    g_library.SetServerDir(docs.c_str());
    g_library.WEBSRVSETCGI(cgi.c_str());
    if (g_library.WEBSRVSETOPTION("programs", options.programs.c_str()) != 0)
        return Fail("programs at once '" + options.programs + "' is out of range (1 to 64)");
    if (g_library.WEBSRVSETOPTION("upload-limit", options.uploadLimit.c_str()) != 0)
        return Fail("upload limit of " + options.uploadLimit + " bytes is out of range (0 to 2147483647)");
    const std::string listen = qv::serve::ListenSetting(options.binds);
    if (g_library.WEBSRVSETOPTION("listen", listen.c_str()) != 0)
        return Fail("--bind '" + listen + "' is not a list of IP addresses (a port goes with --port)");
    // The callback only logs: a quiet host sets none, and the library serves files by itself.
    if (!options.quiet) g_library.SetServerCallback(LogRequest);

    const int port = static_cast<int>(options.port);
    const int listeningPort = port == 0 ? 80 : port;  // the library's rule for port 0
    const int32_t started = g_library.ServerStart(port);
    if (started == -3) return Fail("port " + std::to_string(options.port) + " is out of range (0 to 65535)");
    const std::vector<std::string> wanted =
        qv::serve::WantedAddresses(options.binds, qv::serve::FirstHostAddress());
    if (started != 0) {
        return Fail(qv::serve::ExplainListenFailure(
            wanted.empty() ? std::string() : qv::serve::ReachableAddress(wanted.front()), listeningPort));
    }
    const std::string urls = qv::serve::ServedUrls(wanted, listeningPort, qv::serve::AnswersAt);

    g_loopThread = GetCurrentThreadId();
    // Makes this thread's message queue before anyone posts to it.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    std::printf("Serving %s at %s (Ctrl-C stops)\n", docs.c_str(), urls.c_str());
    std::fflush(stdout);

    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }

    g_library.ServerStop();
    qv::serve::UnloadLibrary();
    if (!g_quiet) std::printf("Stopped.\n");
    return 0;
}
