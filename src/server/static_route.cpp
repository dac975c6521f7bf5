// The file route: the document directory's file under its content type, in one send (or in pieces when large).
#include "content/response_header.h"
#include "net/channel.h"
#include "server/directory_guard.h"
#include "server/file_pieces.h"
#include "server/responses.h"
#include "server/routes.h"

namespace qv::server {
namespace {

// The whole 200 answer for a file of `size` bytes, read from its start into
// `answer` (a buffer kept between requests, so serving a file does not
// allocate and fault in fresh pages each time).
void BuildWholeFileAnswer(platform::File file, uint64_t size, const std::string& contentType, std::string& answer) {
    answer = content::BuildResponseHeader(contentType, size);
    const size_t headerSize = answer.size();
    answer.resize(headerSize + static_cast<size_t>(size));
    size_t done = 0;
    while (done < size) {
        long got = platform::ReadFileAt(file, done, &answer[headerSize + done], static_cast<size_t>(size) - done);
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    if (done != size) {
        // The file shrank meanwhile: the answer tells what was read.
        std::string body = answer.substr(headerSize, done);
        answer = content::BuildResponseHeader(contentType, done) + body;
    }
    answer += "\r\n\r\n";  // the body's CR LF and the one every answer ends with
}

// Opens the file, retrying for up to 60 s while it exists but is locked; 0 when it stays unopenable.
platform::File OpenWithRetry(const std::string& name) {
    const uint64_t deadline = platform::MonotonicMilliseconds() + kOpenRetryWindowMs;
    for (;;) {
        platform::OpenResult opened = platform::OpenForReading(name);
        if (opened.file != 0) return opened.file;
        if (!opened.mayRetry) return 0;
        platform::SleepMilliseconds(kOpenRetryPauseMs);
        if (platform::MonotonicMilliseconds() > deadline) return 0;
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
    platform::File file = OpenWithRetry(name);
    const int64_t size = file != 0 ? platform::FileSize(file) : -1;
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
    thread_local std::string answer;
    BuildWholeFileAnswer(file, static_cast<uint64_t>(size), request.contentType, answer);
    platform::CloseFile(file);
    net::SendChannel(connection.channel, answer);
}

}  // namespace qv::server
