// The URL fetch on Windows: WinINet, direct, without writing to its cache,
// read 256 bytes at a time until a read gives nothing or fails.
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

}  // namespace

bool FetchUrl(const std::string& url, const std::string& agent, std::string& body) {
    body.clear();
    InternetHandle internet(InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (internet.get() == nullptr) return false;
    // Declared after the Internet handle, so it is closed first.
    InternetHandle page(InternetOpenUrlA(internet.get(), url.c_str(), nullptr, 0,
                                         INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (page.get() == nullptr) return false;
    char buffer[256];
    for (;;) {
        DWORD count = 0;
        const BOOL read = InternetReadFile(page.get(), buffer, sizeof buffer, &count);
        if (!read || count == 0) break;
        body.append(buffer, count > sizeof buffer ? sizeof buffer : count);
    }
    return true;
}

}  // namespace qv::platform
