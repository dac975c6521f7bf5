// One connection's life as a machine driven by events: bytes fed to the
// request reader as they arrive, the answer written as the client takes it,
// and the deadlines in between. It never waits and never touches a socket
// itself: everything goes through its link, so the same machine runs on a
// real connection and under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "server/answer.h"
#include "server/request_reader.h"

namespace qv::server {

// How long a kept connection waits for its next request, and how many
// requests one connection is answered before it is closed.
constexpr uint64_t kKeepAliveMs = 15000;
constexpr uint32_t kRequestsPerConnection = 1000;
// Bytes of requests read ahead while an answer is worked out or goes out;
// beyond it the socket is not read until the answer is out.
constexpr size_t kReadAheadLimit = 65536;

// The connection's way to its socket; every call returns at once.
class ConnectionLink {
public:
    virtual ~ConnectionLink() = default;
    // The count moved, platform::kWouldBlock, or -1 on failure; a receive
    // gives 0 once the peer has finished sending.
    virtual long ReceiveNow(char* buffer, size_t size) = 0;
    virtual long SendNow(const char* data, size_t size) = 0;
    // Up to `count` bytes of `file` from `offset`; 0 when the file has no byte there.
    virtual long SendFileNow(platform::File file, uint64_t offset, size_t count) = 0;
    // A send would have blocked: from now on the socket reports when it can take more.
    virtual void AskForWriteEvents() = 0;
    // Bytes sent but not yet taken by the client, or -1 where the system cannot tell.
    virtual long UnsentBytes() { return -1; }
    // Nothing more will be sent: the client reads the end, and may still send.
    virtual void FinishSending() {}
};

class ConnectionMachine {
public:
    enum class Phase {
        ReadHeader,  // waiting for the bytes that decide the request
        Handle,      // decided: the answer is being worked out (a program's turn, a locked file)
        Write,       // the answer goes out as the socket drains
        // A refusal sent whole before the request's end: the sending side is
        // finished and what the client still sends is read and dropped for a
        // moment, so that the close does not reset the answer under it.
        Linger,
        Done,        // nothing more to do: the connection is to be closed
    };
    // What the owner does next.
    enum class Next {
        Wait,     // nothing until the next event
        Decided,  // the request is decided: compose its answer and hand it to Answer()
        Close,    // close the connection now (answered, failed, or nothing to answer)
    };

    // `timeoutMs`: how long a client may stay silent, or take nothing of its
    // answer; `bodyLimit`: the largest POST body a program is given;
    // `keepAliveMs`: how long a kept connection waits for its next request.
    ConnectionMachine(ConnectionLink& link, uint64_t nowMs, uint64_t timeoutMs,
                      int64_t bodyLimit = RequestReader::kDefaultBodyLimit, uint64_t keepAliveMs = kKeepAliveMs);

    // The socket has bytes, or the peer has finished sending or failed.
    Next OnReadable(uint64_t nowMs);
    // The socket can take more.
    Next OnWritable(uint64_t nowMs);
    // The decided request's answer: written at once as far as the socket takes it.
    Next Answer(server::Answer answer, uint64_t nowMs);
    // True when the client has been silent, or has taken nothing, for the
    // time-out: the header counts from the start, a body from its last bytes,
    // an answer from the last bytes the client took (learnt from the socket's
    // unsent queue where the system tells it, so a reader slower than the
    // socket's wake-up threshold is seen to progress).
    bool Expired(uint64_t nowMs);
    // The server itself was held (a long host call, a loop that was not run):
    // every deadline counts afresh from `nowMs`.
    void RestartDeadlines(uint64_t nowMs);
    // When the client last sent or took a byte (or the connection opened).
    uint64_t lastProgressMs() const { return lastProgressMs_; }
    // Kept open after an answer, and nothing of the next request has come yet.
    bool idleBetweenRequests() const { return phase_ == Phase::ReadHeader && idle_; }
    // The requests answered on this connection so far.
    uint32_t answered() const { return answered_; }

    Phase phase() const { return phase_; }
    const Request& request() const { return reader_.request(); }
    // The header is in and the request waits for the body line of a POST to a
    // program that announced no length (a body with a Content-Length is waited
    // for until the receive time-out).
    bool WaitsForBodyLine() const {
        return phase_ == Phase::ReadHeader && reader_.headerComplete() && !reader_.AwaitingBody();
    }
    // The client has paused inside the body line: the line is taken as it stands.
    Next OnBodyPause();

    // The interim answer a client that asked for it waits for before it sends its body.
    static constexpr const char* kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

private:
    Next Decide(RequestReader::Status status);
    // Sends what is left of the interim answer: 0 when all of it is out,
    // kWouldBlock, or -1 on failure.
    long SendInterim();
    Next Write(uint64_t nowMs);
    // The answer is out and the connection stays: the next request is read,
    // starting with the bytes that came ahead of it.
    Next StartNextRequest(uint64_t nowMs);
    Next SendContinueIfAsked();
    // Sends the next stretch of the answer from `sent_`: the count sent, kWouldBlock, or -1.
    long SendNext();
    long SendAssembled();

    ConnectionLink& link_;
    const uint64_t timeoutMs_;
    const uint64_t keepAliveMs_;
    uint64_t openedAtMs_;
    uint64_t lastProgressMs_;
    long lastUnsent_ = -1;  // the unsent queue at the last look; -1 after a send
    Phase phase_ = Phase::ReadHeader;
    bool peerDone_ = false;
    bool askedForWrite_ = false;
    RequestReader reader_;
    // "100 Continue" goes out once, as soon as the header says the body will
    // be read and its client waits for the word; what the socket did not take
    // goes out before the answer.
    bool continueSent_ = false;
    std::string interim_;
    server::Answer answer_;
    uint64_t lingerFromMs_ = 0;
    bool keep_ = false;        // the connection stays open after this answer
    bool idle_ = false;        // kept, and waiting for the next request's first byte
    uint32_t answered_ = 0;
    uint64_t total_ = 0;  // head, file stretch and tail
    uint64_t sent_ = 0;
};

// How long a refused client's last bytes are read and dropped before the close.
constexpr uint64_t kLingerMs = 2000;

// Answers up to this size go out from one buffer in one send (read anew from
// the file if the socket took only part); larger ones stretch by stretch.
constexpr size_t kAssembledAnswerLimit = size_t{128} << 10;
// The most one send of a file stretch offers.
constexpr size_t kFileStretch = size_t{1} << 20;

}  // namespace qv::server
