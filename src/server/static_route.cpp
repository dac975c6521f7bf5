// The file route: the document directory's file, whole, under its content type.
#include "server/directory_guard.h"
#include "server/responses.h"
#include "server/routes.h"

namespace qv::server {
namespace {

// The whole file, read from its start; false when it cannot be read.
bool ReadWholeFile(platform::File file, std::string& body) {
    int64_t size = platform::FileSize(file);
    if (size < 0) return false;
    body.assign(static_cast<size_t>(size), '\0');
    size_t done = 0;
    while (done < body.size()) {
        long got = platform::ReadFileAt(file, done, &body[done], body.size() - done);
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    body.resize(done);
    return true;
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
    std::string body;
    bool read = file != 0 && ReadWholeFile(file, body);
    if (file != 0) platform::CloseFile(file);
    if (!read) {
        SendAnswer(connection.channel, NotFoundResponse());
        return;
    }
    SendAnswer(connection.channel, ContentResponse(request.contentType, body));
}

}  // namespace qv::server
