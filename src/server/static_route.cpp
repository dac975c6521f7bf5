// The file route: the document directory's file under its content type, in one send (or in pieces when large).
#include <cstring>
#include <memory>

#include "content/response_header.h"
#include "net/channel.h"
#include "server/directory_guard.h"
#include "server/file_pieces.h"
#include "server/responses.h"
#include "server/routes.h"

namespace qv::server {
namespace {

// A buffer kept between requests and not cleared before it is filled, so
// serving a file neither allocates nor zeroes fresh pages each time.
class AnswerBuffer {
public:
    char* Prepare(size_t size) {
        if (size > capacity_) {
            data_.reset(new char[size]);
            capacity_ = size;
        }
        return data_.get();
    }
    const char* Data() const { return data_.get(); }

private:
    std::unique_ptr<char[]> data_;
    size_t capacity_ = 0;
};

// The whole 200 answer for a file of `size` bytes, read from its start into
// `buffer`; returns the answer's length.
size_t BuildWholeFileAnswer(platform::File file, size_t size, const std::string& contentType, AnswerBuffer& buffer) {
    static const char kClosing[] = "\r\n\r\n";  // the body's CR LF and the one every answer ends with
    const size_t closingSize = sizeof kClosing - 1;
    std::string header = content::BuildResponseHeader(contentType, size);
    char* answer = buffer.Prepare(header.size() + size + closingSize);
    char* body = answer + header.size();
    size_t done = 0;
    while (done < size) {
        long got = platform::ReadFileAt(file, done, body + done, size - done);
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    if (done != size) {
        // The file shrank meanwhile: the answer tells what was read.
        header = content::BuildResponseHeader(contentType, done);
        std::memmove(answer + header.size(), body, done);
    }
    std::memcpy(answer, header.data(), header.size());
    std::memcpy(answer + header.size() + done, kClosing, closingSize);
    return header.size() + done + closingSize;
}

// Opens the file, retrying for up to 60 s while it exists but is locked; no file when it stays unopenable.
platform::OpenResult OpenWithRetry(const std::string& name) {
    const uint64_t deadline = platform::MonotonicMilliseconds() + kOpenRetryWindowMs;
    for (;;) {
        platform::OpenResult opened = platform::OpenForReading(name);
        if (opened.file != 0 || !opened.mayRetry) return opened;
        platform::SleepMilliseconds(kOpenRetryPauseMs);
        if (platform::MonotonicMilliseconds() > deadline) return platform::OpenResult{0, false};
    }
}

}  // namespace

void ServeFile(const Connection& connection, const Request& request, const Settings& settings) {
    std::string name;
    Containment where = CheckContained(settings.documentDirectory, request.path, name);
    // Only a regular file inside the directory is served; anything else is not found at once.
    if (where != Containment::Inside || platform::ProbePath(name) != platform::PathKind::File) {
        SendAnswer(connection.channel, NotFoundResponse());
        return;
    }
    const platform::OpenResult opened = OpenWithRetry(name);
    const platform::File file = opened.file;
    const int64_t size = file != 0 ? opened.size : -1;
    if (size < 0) {
        if (file != 0) platform::CloseFile(file);
        SendAnswer(connection.channel, NotFoundResponse());
        return;
    }
    if (static_cast<uint64_t>(size) > kWholeFileLimit) {
        const int channel = connection.channel;
        SendFileInPieces(
            request.contentType, static_cast<uint64_t>(size),
            [file](uint64_t offset, char* buffer, size_t count) { return platform::ReadFileAt(file, offset, buffer, count); },
            [channel](const std::string& bytes) { return net::SendChannel(channel, bytes) == net::kOk; });
        platform::CloseFile(file);
        return;
    }
    thread_local AnswerBuffer buffer;
    const size_t length = BuildWholeFileAnswer(file, static_cast<size_t>(size), request.contentType, buffer);
    platform::CloseFile(file);
    net::SendChannel(connection.channel, buffer.Data(), length);
}

}  // namespace qv::server
