// The URL fetch on Windows: WinINet, direct, without writing to its cache,
// read 256 bytes at a time until a read gives nothing or fails, or the body
// the server declared is complete.
#include <windows.h>
#include <wininet.h>

#include "platform/platform.h"

namespace qv::platform {

namespace {

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() {
        if (handle_ != nullptr) InternetCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return handle_; }

private:
    HINTERNET handle_;
};

// The body length an HTTP answer declares; false when it declares none.
bool DeclaredLength(HINTERNET page, DWORD& length) {
    DWORD size = sizeof length;
    return HttpQueryInfoA(page, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr) != FALSE;
}

}  // namespace

bool FetchUrl(const std::string& url, const std::string& agent, std::string& body) {
    body.clear();
    InternetHandle internet(InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (internet.get() == nullptr) return false;
    // Declared after the Internet handle, so it is closed first.
    InternetHandle page(InternetOpenUrlA(internet.get(), url.c_str(), nullptr, 0,
                                         INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (page.get() == nullptr) return false;
    // Some Internet client services read on past the declared length until
    // the server closes (a server that ends its answer with an extra line end
    // would add it to the body); the body is what the server declared.
    DWORD declared = 0;
    const bool limited = DeclaredLength(page.get(), declared);
    char buffer[256];
    while (!limited || body.size() < declared) {
        DWORD count = 0;
        const BOOL read = InternetReadFile(page.get(), buffer, sizeof buffer, &count);
        if (!read || count == 0) break;
        DWORD keep = count > sizeof buffer ? sizeof buffer : count;
        if (limited && keep > declared - body.size()) keep = static_cast<DWORD>(declared - body.size());
        body.append(buffer, keep);
    }
    return true;
}

}  // namespace qv::platform
