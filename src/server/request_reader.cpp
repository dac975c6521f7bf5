#include "server/request_reader.h"

#include <cctype>

#include "content/content_type.h"
#include "content/trim.h"
#include "content/url_path.h"

namespace qv::server {
namespace {

// True when the line starts with `prefix`, letter case ignored.
bool StartsWithNoCase(const std::string& line, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= line.size()) return false;
        if (std::toupper(static_cast<unsigned char>(line[i])) != static_cast<unsigned char>(prefix[i])) return false;
    }
    return true;
}

}  // namespace

bool IsControlCharacter(unsigned char byte) { return byte <= 26 && byte != 13; }

RequestReader::Status RequestReader::Feed(const std::string& bytes) {
    if (status_ != Status::NotYet) return status_;
    size_t room = kLimit - fed_;
    size_t taken = bytes.size() < room ? bytes.size() : room;
    fed_ += taken;
    for (size_t i = 0; i < taken; ++i) {
        if (!IsControlCharacter(static_cast<unsigned char>(bytes[i]))) pending_.push_back(bytes[i]);
    }
    TakeLines();
    if (status_ == Status::NotYet && fed_ >= kLimit) return Finish();
    return status_;
}

RequestReader::Status RequestReader::Finish() {
    if (status_ != Status::NotYet) return status_;
    if (!headerDone_) {
        status_ = Status::NoAnswer;
    } else {
        TakeBody(true);
    }
    return status_;
}

void RequestReader::TakeLines() {
    while (!headerDone_) {
        size_t end = pending_.find('\r');
        if (end == std::string::npos) return;
        std::string line = content::TrimSpaces(pending_.substr(0, end));
        pending_.erase(0, end + 1);
        if (line.empty()) {
            headerDone_ = true;
            break;
        }
        ClassifyLine(line);
    }
    if (!WantsBody()) {
        status_ = Status::Decided;
        return;
    }
    TakeBody(false);
}

bool RequestReader::WantsBody() const { return request_.method == "POST" && request_.cgiFlag != 0; }

// The body of a POST to a program is the line after the header; without a
// carriage return after it the body is empty.
void RequestReader::TakeBody(bool finished) {
    if (!WantsBody()) {
        status_ = Status::Decided;
        return;
    }
    size_t end = pending_.find('\r');
    if (end == std::string::npos) {
        if (finished) {
            request_.query.clear();
            status_ = Status::Decided;
        }
        return;
    }
    request_.query = content::TrimSpaces(pending_.substr(0, end));
    status_ = Status::Decided;
}

void RequestReader::ClassifyLine(const std::string& line) {
    Request& r = request_;
    if (StartsWithNoCase(line, "GET") || StartsWithNoCase(line, "PUT") || StartsWithNoCase(line, "HEAD")) {
        r.path = content::MapUrlToPath(line, 5);
        r.extension = content::PathExtension(r.path);
        content::SplitProgramQuery(r.path, r.query, r.programName);
        r.contentType = content::ContentTypeFor(r.extension, r.cgiFlag);
        r.method = "GET";
    } else if (StartsWithNoCase(line, "POST")) {
        r.path = content::MapUrlToPath(line, 6);
        r.extension = content::PathExtension(r.path);
        r.programName = r.path;
        r.query.clear();
        r.contentType = content::ContentTypeFor(r.extension, r.cgiFlag);
        r.method = "POST";
    } else if (StartsWithNoCase(line, "ACCEPT:")) {
        r.accept = line.substr(7);
    } else if (StartsWithNoCase(line, "ACCEPT-LANGUAGE:")) {
        r.acceptLanguage = line.substr(16);
    } else if (StartsWithNoCase(line, "ACCEPT-ENCODING:")) {
        r.acceptEncoding = line.substr(16);
    } else if (StartsWithNoCase(line, "USER-AGENT:")) {
        r.userAgent = line.substr(11);
    } else if (StartsWithNoCase(line, "HOST:")) {
        r.host = line.substr(5);
    } else if (StartsWithNoCase(line, "CONNECTION:")) {
        r.connection = line.substr(11);
    } else if (StartsWithNoCase(line, "REFERER:")) {
        r.referer = line.substr(8);
    }
}

}  // namespace qv::server
