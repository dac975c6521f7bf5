// The URL fetch on Linux: libcurl in the role of the Internet client
// services. A direct connection whatever the environment says, the request
// line the Windows Internet client sends for the URL, redirects followed,
// credentials in the URL sent as Basic authentication, http and https only,
// an answer without a status line taken whole as the body, and time limits
// so a dead server cannot hold the caller forever.
#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "platform/platform.h"
#include "platform/posix/request_target.h"

namespace qv::platform {

namespace {

constexpr long kConnectTimeoutSeconds = 30;
constexpr long kTransferLimitSeconds = 300;
constexpr long kMaxRedirects = 10;
// Room taken at once for a body of announced length, so a large body is not
// copied again and again as it grows; a larger announcement grows as it comes.
constexpr curl_off_t kReserveLimit = curl_off_t{64} << 20;
constexpr long kReceiveBufferSize = 256 * 1024;

bool CurlReady() {
    // curl_global_init is not thread-safe: run it once, whichever thread fetches first.
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ready;
}

struct Transfer {
    std::string* body;
    CURL* handle;
    bool answered = false;  // a response header arrived: the URL was opened
    bool reserved = false;
};

size_t KeepBody(char* data, size_t size, size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    try {
        if (!transfer->reserved) {
            transfer->reserved = true;
            curl_off_t announced = -1;
            if (curl_easy_getinfo(transfer->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
                announced > 0) {
                transfer->body->reserve(static_cast<size_t>(announced < kReserveLimit ? announced : kReserveLimit));
            }
        }
        transfer->body->append(data, size * count);
    } catch (...) {
        return 0;  // out of memory: stop here with what was read
    }
    return size * count;
}

size_t NoteHeader(char*, size_t size, size_t count, void* context) {
    static_cast<Transfer*>(context)->answered = true;
    return size * count;
}

struct CurlCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

// One request of the fetch: `origin` is the URL up to its path, `target`
// the request line's target. The status and where a redirect leads (empty
// when it leads nowhere) come back with the body.
struct Hop {
    bool opened = false;  // the server answered
    long status = 0;
    std::string redirect;
};

Hop FetchOnce(CURL* curl, const std::string& origin, const std::string& target, const std::string& agent,
              std::string& body) {
    body.clear();
    Transfer transfer{&body, curl};
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, origin.c_str());
    // The target goes out as it is: libcurl would write it in its own way.
    curl_easy_setopt(curl, CURLOPT_REQUEST_TARGET, target.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    // Direct: an empty proxy overrides any proxy variable of the environment.
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    // A server that sends its page without a status line: the bytes are the body.
    curl_easy_setopt(curl, CURLOPT_HTTP09_ALLOWED, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTransferLimitSeconds);
    // Time-outs without SIGALRM: the host's threads and signals are its own.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, KeepBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, NoteHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);

    const CURLcode result = curl_easy_perform(curl);
    Hop hop;
    // A transfer broken off after the server answered keeps what was read,
    // as a failing read ends the reading loop on Windows; an answer without
    // a status line has no header but was read all the same.
    hop.opened = result == CURLE_OK || transfer.answered;
    if (!hop.opened) return hop;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &hop.status);
    char* location = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location != nullptr) {
        hop.redirect = location;
    }
    return hop;
}

bool IsRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

bool FetchUrl(const std::string& url, const std::string& agent, std::string& body) {
    body.clear();
    std::string origin, target;
    if (!SplitRequestTarget(url, origin, target) || !CurlReady()) return false;
    std::unique_ptr<CURL, CurlCleanup> handle(curl_easy_init());
    if (!handle) return false;
    // Redirects are followed here, each with its own request target.
    for (long followed = 0;; ++followed) {
        const Hop hop = FetchOnce(handle.get(), origin, target, agent, body);
        if (!hop.opened) {
            body.clear();
            return false;
        }
        if (!IsRedirect(hop.status) || hop.redirect.empty() || followed == kMaxRedirects) return true;
        std::string next;
        if (!SplitRequestTarget(hop.redirect, next, target)) return true;
        origin = RedirectOrigin(origin, next);
    }
}

}  // namespace qv::platform
