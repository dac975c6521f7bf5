// The file route: the document directory's file under its content type,
// whole, in part, or not at all when the client's copy is current; and the
// answers to methods that serve no file (OPTIONS, and those the server does
// not implement), once no host has answered them.
#include <algorithm>

#include "content/byte_range.h"
#include "content/content_type.h"
#include "content/response_header.h"
#include "content/url_decode.h"
#include "content/url_path.h"
#include "content/validators.h"
#include "server/directory_guard.h"
#include "server/responses.h"
#include "server/routes.h"

namespace qv::server {
namespace {

// A name that had no dot and was looked up as "name.htm": when that is
// missing but a folder "name" exists, the client is sent to "name/".
bool FolderRedirect(const Request& request, const content::FileTarget& target, const std::string& decoded,
                    const Settings& settings, std::string& location) {
    if (!target.htmAdded || decoded.size() <= 4) return false;
    const platform::OpenedFile folder =
        OpenContained(settings.documentDirectory, decoded.substr(0, decoded.size() - 4), platform::OpenPurpose::Read);
    if (folder.file != 0) platform::CloseFile(folder.file);
    if (folder.outside || folder.kind != platform::PathKind::Directory) return false;
    // The name as the client wrote it, with forward slashes and exactly one
    // leading slash: "/\\name" would send a browser to another host.
    std::string name = request.url.substr(0, request.url.find('?'));
    std::replace(name.begin(), name.end(), '\\', '/');
    name.erase(0, name.find_first_not_of('/'));
    location = "/" + name + "/";
    if (target.hasQuery) location += "?" + target.query;
    return true;
}

// True when the URL names a file the route would serve (one locked for now included).
bool FileExists(const Request& request, const Settings& settings) {
    std::string decoded;
    if (!content::DecodeName(content::FileTargetOf(request.url).path, decoded)) return false;
    const platform::OpenedFile opened = OpenContained(settings.documentDirectory, decoded, platform::OpenPurpose::Read);
    if (opened.file != 0) platform::CloseFile(opened.file);
    return (opened.file != 0 && opened.size >= 0) || opened.mayRetry;
}

}  // namespace

Answer FileAnswer(const Request& request, platform::File file, uint64_t size, int64_t modified,
                  const std::string& contentType) {
    content::FileValidators validators;
    std::string lines;
    if (modified >= 0) {
        validators.tag = content::EntityTag(size, modified);
        validators.modified = modified;
        lines = "ETag: " + validators.tag + "\r\nLast-Modified: " + content::HttpDate(modified) + "\r\n";
    }
    // Conditions and ranges are for reading a file, not for posting to it.
    const bool reading = request.method == "GET";
    if (reading && modified >= 0 && content::NotModified(validators, request.ifNoneMatch, request.ifModifiedSince)) {
        platform::CloseFile(file);
        return Answer(content::BuildHeader("HTTP/1.0 304 Not Modified", contentType, size, lines));
    }
    content::ByteRange range;
    if (reading && content::IfRangeHolds(validators, request.ifRange)) range = content::ChooseRange(request.range, size);
    switch (range.kind) {
        case content::ByteRange::Kind::Part: {
            const std::string header =
                content::BuildHeader("HTTP/1.0 206 Partial Content", contentType, range.length,
                                     "Content-Range: " + content::ContentRangeOf(range, size) + "\r\n" + lines);
            return Answer(header, file, range.first, range.length, std::string());
        }
        case content::ByteRange::Kind::Unsatisfiable:
            platform::CloseFile(file);
            return Answer(content::BuildHeader("HTTP/1.0 416 Range Not Satisfiable", contentType, 0,
                                               "Content-Range: bytes */" + std::to_string(size) + "\r\n" + lines));
        case content::ByteRange::Kind::Whole:
            break;
    }
    // The body's CR LF and the one every answer ends with.
    return Answer(content::BuildHeader("HTTP/1.0 200 OK", contentType, size, lines), file, 0, size, "\r\n\r\n");
}

Answer ServeFile(const Connection& /*connection*/, const Request& request, const Settings& settings) {
    // A method the route does not serve a file for is answered by what the
    // server allows.
    if (request.verb == Verb::Options) return AnswerOf(OptionsResponse());
    if (request.verb == Verb::Other) return AnswerOf(MethodResponse(FileExists(request, settings)));
    // The name is the URL's part before its query, decoded.
    const content::FileTarget target = content::FileTargetOf(request.url);
    std::string decoded;
    if (!content::DecodeName(target.path, decoded)) return AnswerOf(NotFoundResponse());
    // Only a regular file inside the directory is opened; anything else is not found at once.
    const platform::OpenedFile opened = OpenContained(settings.documentDirectory, decoded, platform::OpenPurpose::Read);
    // Locked by someone else for now: the connection tries again a little later.
    if (opened.file == 0 && opened.mayRetry) return Answer::OpenLater();
    if (opened.file == 0 || opened.size < 0) {
        if (opened.file != 0) platform::CloseFile(opened.file);
        std::string location;
        if (FolderRedirect(request, target, decoded, settings, location)) return AnswerOf(MovedResponse(location));
        return AnswerOf(NotFoundResponse());
    }
    return FileAnswer(request, opened.file, static_cast<uint64_t>(opened.size), opened.modified,
                      content::ContentTypeOfFile(decoded));
}

}  // namespace qv::server
