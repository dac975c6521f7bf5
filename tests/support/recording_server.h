// A small HTTP server of the tests' own, on 127.0.0.1: a thread that accepts
// one connection at a time, records the request it reads, answers with the
// configured status and body (Content-Length given, then the connection is
// closed). Used to see what the library's client sends.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qvtest {

struct RecordedRequest {
    std::string bytes;          // the request line and header fields, up to the empty line
    std::string requestLine;    // e.g. "GET /a/b?x=1 HTTP/1.1"
    std::string target;         // the request line's second word, e.g. "/a/b?x=1"
    std::string userAgent;      // the User-Agent field's value, "" when absent
    std::string authorization;  // the Authorization field's value, "" when absent
};

struct RecordingServerAnswer {
    int status = 200;
    std::string body;
    // Without an Authorization field a request is answered 401 with a Basic
    // challenge (some clients send URL credentials only after one).
    bool challengeWithoutAuthorization = false;
    // A request for this target is sent on to `redirectTo` with a 302: a target
    // on the same server, or a whole URL ("http://...") for another one.
    std::string redirectFrom;
    std::string redirectTo;
    // Bytes sent after the body, beyond its declared Content-Length.
    std::string trailing;
    // Whether the answer says "Connection: close" (it closes the connection either way).
    bool announceClose = true;
    // When not empty, these bytes alone are the answer: no status line, no header.
    std::string withoutStatusLine;
};

class RecordingServer {
public:
    explicit RecordingServer(RecordingServerAnswer answer);
    ~RecordingServer();
    RecordingServer(const RecordingServer&) = delete;
    RecordingServer& operator=(const RecordingServer&) = delete;

    bool Listening() const { return listening_ != kNoSocket; }
    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:PORT" followed by `target`.
    std::string Url(const std::string& target) const;
    std::vector<RecordedRequest> Requests() const;
    // The body sent with the 401 challenge, so a test can tell it from the real answer.
    static const char kChallengeBody[];

    using Socket = intptr_t;
    static constexpr Socket kNoSocket = -1;

private:
    void Serve();
    void Answer(Socket connection);

    RecordingServerAnswer answer_;
    Socket listening_ = kNoSocket;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex lock_;
    std::vector<RecordedRequest> requests_;
    std::thread thread_;
};

// A loopback port on which nothing listens: a connection to it is refused.
uint16_t RefusingPort();

// The socket calls the recording server needs, one implementation per
// platform (tests/support/posix/, tests/support/win32/).
namespace loopback {
using Socket = RecordingServer::Socket;
// A socket listening on 127.0.0.1 at a free port (stored into `port`); kNoSocket on failure.
Socket Listen(uint16_t& port);
// True when the socket has something to read (or a connection to accept) within `timeoutMs`.
bool Readable(Socket socket, int timeoutMs);
Socket Accept(Socket listening);           // kNoSocket on failure
long Receive(Socket socket, char* buffer, size_t size);  // <= 0: closed or failed
void SendAll(Socket socket, const std::string& bytes);
// Half-closes for sending and closes, so what was sent still reaches the peer.
void Close(Socket socket);
}  // namespace loopback

}  // namespace qvtest
