// The incremental request reader: fed the bytes of one request as they
// arrive, it says when the answer is decided. The decision depends only on the
// bytes up to the header's empty line (and, for a POST to a program, up to the
// end of the body), never on how the bytes were split.
//
// Lines end at CR LF or at an LF alone. How the body is framed is checked for
// every request as soon as its header is in, whether the body is read or not:
// a request whose end a server and a proxy in front of it could disagree on
// is refused.
#pragma once

#include <cstdint>
#include <string>

#include "server/request_body.h"
#include "server/server_state.h"

namespace qv::server {

// A request the reader turned down itself; the dispatcher answers it before any route.
enum class Refusal {
    None,
    HeaderTooLarge,  // no empty line within the header limit: 431
    BodyTooLarge,    // a program's POST body over the body limit: 413
    BadLength,       // a Content-Length that is not a number: 400
    BadLineEnd,      // a CR inside the header not followed at once by its LF: 400
    BodyNotKept,     // a program's POST body the server had no room to keep: 503
    // Framing that leaves the body's end in doubt: Content-Length with
    // Transfer-Encoding, Content-Lengths that differ, a Transfer-Encoding
    // other than chunked, or one on a request older than HTTP/1.1: 400
    BadFraming,
    BadChunk,        // a chunked body that breaks its framing: 400
    MissingHost,     // an HTTP/1.1 request without a Host line: 400
};

// The method as the file route answers it, once no host has answered the
// request. The host sees every request as it always has, whatever this says.
enum class Verb {
    None,     // no request line (an empty line first)
    Get,
    Head,
    Post,
    Options,  // answered with the methods the server allows
    Other,    // PUT, DELETE and every other method: not implemented here
};

struct Request {
    std::string method;  // "GET" (also for PUT and HEAD), "POST" or empty
    bool head = false;   // a HEAD request: the GET answer without its body
    Verb verb = Verb::None;
    bool http11 = false;  // the request line names HTTP/1.1 or later
    // The URL as the request line gave it (for an absolute URL, its path and
    // query alone); also for a method the server does not implement, whose
    // mapped path stays empty as it always was.
    std::string url;
    std::string path;
    std::string extension;
    std::string programName;
    std::string query;  // for a POST to a program: the body's first line
    std::string contentType;
    int16_t cgiFlag = 0;
    // Header values as the host and the program environment have always had
    // them: the rest of the line after the colon.
    std::string accept, acceptLanguage, acceptEncoding, userAgent, host, connection, referer;
    // Further header values, spaces around them removed.
    std::string cookie, bodyType, range, ifRange, ifNoneMatch, ifModifiedSince;
    int64_t contentLength = -1;  // -1 when the request gave none, -2 when it is not a number or lengths differ
    bool chunked = false;        // Transfer-Encoding: chunked
    bool hostLine = false;       // a Host line came, empty or not
    // The Connection lines name "close" or "keep-alive" among their elements.
    bool connectionClose = false;
    bool connectionKeepAlive = false;
    // Expect: 100-continue on an HTTP/1.1 request: the client waits for the
    // interim answer before it sends the body.
    bool expectsContinue = false;
    // A program's POST body, byte for byte (a chunked body decoded; for a body
    // without a length, its first line, control characters and the spaces
    // around it removed).
    RequestBody body;
    Refusal refusal = Refusal::None;
};

class RequestReader {
public:
    enum class Status { NotYet, Decided, NoAnswer };

    // The header, up to and including its empty line, fits in this many bytes.
    static constexpr size_t kHeaderLimit = 16384;
    // The largest POST body a program is given (a chunked body: decoded),
    // unless the host sets another, up to the largest it may set.
    static constexpr int64_t kDefaultBodyLimit = kDefaultUploadLimit;
    static constexpr int64_t kLargestBodyLimit = kLargestUploadLimit;

    explicit RequestReader(int64_t bodyLimit = kDefaultBodyLimit) : bodyLimit_(bodyLimit) {}
    int64_t bodyLimit() const { return bodyLimit_; }
    // The reader of the request that follows this one on the same connection:
    // what is left of this one's dropped body is skipped first, then line ends
    // before the request line (the LF of this header's last line, the CR LF
    // some clients put after a body). Feed it ahead() to go on.
    RequestReader Following() const;
    // A body nobody reads is dropped on a kept connection up to this size;
    // a longer one closes the connection after the answer.
    static constexpr int64_t kDroppedBodyLimit = 65536;
    // A chunked body's framing (size lines, extensions, line ends, trailer
    // lines) may take this many bytes besides its data.
    static constexpr int64_t kChunkFramingLimit = 1024 * 1024;
    // The most of a body's first line that becomes the query (the whole body
    // is on the program's standard input).
    static constexpr size_t kBodyQueryLimit = 8192;

    // Adds bytes and tells where the request stands.
    Status Feed(const std::string& bytes);
    Status Feed(const char* bytes, size_t count);
    // No more bytes will come.
    Status Finish();
    Status status() const { return status_; }
    // The header's empty line is in (a request not yet decided then waits for its body line).
    bool headerComplete() const { return headerDone_; }
    const Request& request() const { return request_; }
    // The header is in and the announced body of a POST to a program (by
    // its length, or chunked) is still coming.
    bool AwaitingBody() const {
        return status_ == Status::NotYet && headerDone_ && (request_.contentLength >= 0 || request_.chunked);
    }
    // The body is awaited and its client waits for "100 Continue" first.
    bool WantsContinue() const { return AwaitingBody() && request_.expectsContinue; }
    // Decided, and the request's last byte can be told: a next request may
    // follow it on the connection. False for a refusal, a body line without
    // a length, and a body nobody reads that is chunked, too long to drop, or
    // held back by its client until it hears "100 Continue".
    bool endKnown() const { return status_ == Status::Decided && endKnown_; }
    // Bytes that came after the request's end (a next request's start), kept
    // once the end is known; the bytes of a body nobody reads are dropped first.
    const std::string& ahead() const { return ahead_; }
    // Body bytes nobody reads that have still to come (and be dropped).
    uint64_t dropLeft() const { return dropLeft_; }

private:
    void TakeHeaderByte(char byte);
    void EndLine(const std::string& line);
    void EndHeader();
    Refusal CheckFraming() const;
    void TakeRequestLine(const std::string& line);
    void TakeHeaderLine(const std::string& line);
    bool WantsBody() const;
    // The count of bytes taken: the rest come after the request.
    size_t TakeBodyBytes(const char* bytes, size_t count);
    size_t TakeChunkedBytes(const char* bytes, size_t count);
    void TakeChunkFramingByte(char byte);
    void CheckBody(bool finished);
    void Refuse(Refusal refusal);
    void DecideAtHeader();
    void TakeAfterRequest(const char* bytes, size_t count);

    int64_t bodyLimit_;
    bool follows_ = false;       // an earlier request came on the connection
    bool endKnown_ = false;
    uint64_t dropLeft_ = 0;
    std::string ahead_;
    Status status_ = Status::NotYet;
    size_t headerBytes_ = 0;
    bool headerDone_ = false;
    bool skipLineFeed_ = false;  // the LF that follows the header's last CR
    bool lineFeedDue_ = false;   // a header line ended at a CR: the next byte must be its LF
    bool requestLineRead_ = false;
    // A body without a length is its first line: the bytes seen before its
    // CR, whether that CR has come, and the spaces held back until a byte
    // other than a space shows they are not the line's last.
    uint64_t bodyLineSeen_ = 0;
    bool bodyLineEnded_ = false;
    size_t heldSpaces_ = 0;
    std::string line_;           // the header line being read, control characters removed
    // Content-Length lines: how many came, and the first one's value (its
    // digits without leading zeros); a later one that differs is refused.
    int lengthLines_ = 0;
    std::string lengthDigits_;
    bool lengthsDiffer_ = false;
    std::string transferCodings_;  // every Transfer-Encoding line's value, joined by commas
    // Reading a chunked body.
    enum class Chunk { Size, AfterSize, Extension, Data, DataEnd, Trailer, TrailerLine, Done };
    Chunk chunk_ = Chunk::Size;
    bool chunkLineFeedDue_ = false;  // a CR in the framing: the next byte must be its LF
    int chunkDigits_ = 0;            // the size's hex digits after its leading zeros
    bool chunkSizeSeen_ = false;     // the size line has at least one digit
    uint64_t chunkLeft_ = 0;         // the data bytes still to come of this chunk
    uint64_t chunkFraming_ = 0;      // framing bytes so far
    Request request_;
};

// True for the bytes removed from received request data: 0-12 and 14-26.
bool IsControlCharacter(unsigned char byte);

}  // namespace qv::server
