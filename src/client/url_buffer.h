// The fixed URL buffer of the client calls: 1,024 bytes of zero-terminated
// text, so every value stored into it keeps at most its first 1,023 bytes.
#pragma once

#include <cstddef>
#include <string>

namespace qv::client {

constexpr std::size_t kUrlBufferLimit = 1023;

class UrlBuffer {
public:
    UrlBuffer() = default;
    explicit UrlBuffer(const std::string& text) { Store(text); }

    // Replaces the contents, cut to the buffer's limit.
    void Store(const std::string& text);
    // The text built so far plus `more`, stored back (and cut) as one step.
    void Append(const std::string& more) { Store(text_ + more); }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// Writes "user:password@" in after the first "//" of the URL; the URL is
// returned unchanged when it has no "//" or the user name is empty.
std::string WithCredentials(const std::string& url, const std::string& user,
                            const std::string& password);

}  // namespace qv::client
