// The file route: the document directory's file under its content type.
#include "content/response_header.h"
#include "server/directory_guard.h"
#include "server/responses.h"
#include "server/routes.h"

namespace qv::server {
namespace {

// Opens the file, retrying for up to 60 s while it exists but is locked; no file when it stays unopenable.
platform::OpenedFile OpenWithRetry(const std::string& directory, const std::string& path) {
    const uint64_t deadline = platform::MonotonicMilliseconds() + kOpenRetryWindowMs;
    for (;;) {
        platform::OpenedFile opened = OpenContained(directory, path, platform::OpenPurpose::Read);
        if (opened.file != 0 || !opened.mayRetry) return opened;
        platform::SleepMilliseconds(kOpenRetryPauseMs);
        if (platform::MonotonicMilliseconds() > deadline) return platform::OpenedFile{};
    }
}

}  // namespace

Answer ServeFile(const Connection& /*connection*/, const Request& request, const Settings& settings) {
    // Only a regular file inside the directory is opened; anything else is not found at once.
    const platform::OpenedFile opened = OpenWithRetry(settings.documentDirectory, request.path);
    if (opened.file == 0 || opened.size < 0) {
        if (opened.file != 0) platform::CloseFile(opened.file);
        return AnswerOf(NotFoundResponse());
    }
    const uint64_t size = static_cast<uint64_t>(opened.size);
    // The body's CR LF and the one every answer ends with.
    return Answer(content::BuildResponseHeader(request.contentType, size), opened.file, 0, size, "\r\n\r\n");
}

}  // namespace qv::server
