// The incremental request reader: fed the bytes of one request as they
// arrive, it says when the answer is decided. The decision depends only on the
// bytes up to the header's empty line (and, for a POST to a program, up to the
// end of the body line), never on how the bytes were split.
#pragma once

#include <cstdint>
#include <string>

namespace qv::server {

struct Request {
    std::string method;  // "GET" (also for PUT and HEAD), "POST" or empty
    std::string path;
    std::string extension;
    std::string programName;
    std::string query;  // for a POST to a program: the body line
    std::string contentType;
    int16_t cgiFlag = 0;
    std::string accept, acceptLanguage, acceptEncoding, userAgent, host, connection, referer;
};

class RequestReader {
public:
    enum class Status { NotYet, Decided, NoAnswer };

    // The request is read from at most this many bytes, as one receive would give them.
    static constexpr size_t kLimit = 1024;

    // Adds bytes (anything past the limit is ignored) and tells where the request stands.
    Status Feed(const std::string& bytes);
    // No more bytes will come.
    Status Finish();
    Status status() const { return status_; }
    // The header's empty line is in (a request not yet decided then waits for its body line).
    bool headerComplete() const { return headerDone_; }
    const Request& request() const { return request_; }

private:
    void TakeLines();
    void ClassifyLine(const std::string& line);
    bool WantsBody() const;
    void TakeBody(bool finished);

    Status status_ = Status::NotYet;
    size_t fed_ = 0;
    bool headerDone_ = false;
    std::string pending_;  // control characters already removed
    Request request_;
};

// True for the bytes removed from received request data: 0-12 and 14-26.
bool IsControlCharacter(unsigned char byte);

}  // namespace qv::server
