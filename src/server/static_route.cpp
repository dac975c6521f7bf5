// The file route: the document directory's file under its content type.
#include "content/response_header.h"
#include "server/directory_guard.h"
#include "server/responses.h"
#include "server/routes.h"

namespace qv::server {

Answer ServeFile(const Connection& /*connection*/, const Request& request, const Settings& settings) {
    std::string name;
    Containment where = CheckContained(settings.documentDirectory, request.path, name);
    // Only a regular file inside the directory is served; anything else is not found at once.
    if (where != Containment::Inside || platform::ProbePath(name) != platform::PathKind::File) {
        return AnswerOf(NotFoundResponse());
    }
    const platform::OpenResult opened = platform::OpenForReading(name);
    // Locked by someone else for now: the connection tries again a little later.
    if (opened.file == 0 && opened.mayRetry) return Answer::OpenLater();
    if (opened.file == 0 || opened.size < 0) {
        if (opened.file != 0) platform::CloseFile(opened.file);
        return AnswerOf(NotFoundResponse());
    }
    const uint64_t size = static_cast<uint64_t>(opened.size);
    // The body's CR LF and the one every answer ends with.
    return Answer(content::BuildResponseHeader(request.contentType, size), opened.file, 0, size, "\r\n\r\n");
}

}  // namespace qv::server
