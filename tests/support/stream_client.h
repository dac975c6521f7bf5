// A client connection a test drives step by step: send, read a little, read
// the rest, and end with a reset or an orderly close. tests/support/posix/
// and tests/support/win32/ implement the socket calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qvtest {

class StreamClient {
public:
    // Connects to address:port at once (connected() tells whether it did).
    StreamClient(const std::string& address, uint16_t port);
    ~StreamClient();
    StreamClient(const StreamClient&) = delete;
    StreamClient& operator=(const StreamClient&) = delete;

    bool connected() const { return socket_ != kNone; }
    void Send(const std::string& bytes);
    // Up to `count` bytes, waiting at most `timeoutMs` for the first; empty
    // when the server has closed (then closedByServer() is true) or nothing came.
    std::string Read(size_t count, int timeoutMs);
    // Reads until `total` bytes have come in all (counting `already`), the
    // server closes, or `timeoutMs` passes; the number read by this call.
    size_t Drain(size_t total, size_t already, int timeoutMs);
    bool closedByServer() const { return closedByServer_; }
    // Ends the connection with a reset: the server sees no orderly end.
    void Reset();
    // Ends it with an orderly close, without reading what is left.
    void Close();

private:
    static constexpr intptr_t kNone = -1;
    intptr_t socket_ = kNone;
    bool closedByServer_ = false;
};

// The handles (descriptors) this process has open now; -1 when the system does not tell.
long OpenHandleCount();

}  // namespace qvtest
