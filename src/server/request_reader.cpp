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

// The value after a header name of `nameLength` bytes, spaces around it removed.
std::string ValueAfter(const std::string& line, size_t nameLength) {
    return content::TrimSpaces(line.substr(nameLength));
}

// A Content-Length value: decimal digits only; -2 for anything else, and the
// body limit plus one for a number too long to matter.
int64_t ParseLength(const std::string& value) {
    if (value.empty()) return -2;
    int64_t length = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return -2;
        if (length <= RequestReader::kBodyLimit) length = length * 10 + (c - '0');
    }
    return length <= RequestReader::kBodyLimit ? length : RequestReader::kBodyLimit + 1;
}

// The first line of a body: control characters removed, up to the first
// carriage return, spaces around it removed.
std::string FirstLine(const std::string& body, bool& complete) {
    std::string line;
    complete = false;
    for (char c : body) {
        if (c == '\r') {
            complete = true;
            break;
        }
        if (!IsControlCharacter(static_cast<unsigned char>(c))) line.push_back(c);
    }
    return content::TrimSpaces(line);
}

// The first line as a program's query, which goes on its command line and
// into its environment: no longer than both systems take there.
std::string QueryOf(const std::string& body) {
    bool complete = false;
    std::string line = FirstLine(body, complete);
    if (line.size() > RequestReader::kBodyQueryLimit) line.resize(RequestReader::kBodyQueryLimit);
    return line;
}

}  // namespace

bool IsControlCharacter(unsigned char byte) { return byte <= 26 && byte != 13; }

RequestReader::Status RequestReader::Feed(const std::string& bytes) { return Feed(bytes.data(), bytes.size()); }

RequestReader::Status RequestReader::Feed(const char* bytes, size_t count) {
    size_t i = 0;
    for (; i < count && status_ == Status::NotYet && !headerDone_; ++i) TakeHeaderByte(bytes[i]);
    if (status_ != Status::NotYet) return status_;
    if (skipLineFeed_ && i < count) {
        skipLineFeed_ = false;
        if (bytes[i] == '\n') ++i;
    }
    if (i < count) TakeBodyBytes(bytes + i, count - i);
    CheckBody(false);
    return status_;
}

RequestReader::Status RequestReader::Finish() {
    if (status_ != Status::NotYet) return status_;
    if (!headerDone_) {
        status_ = Status::NoAnswer;
    } else {
        CheckBody(true);
    }
    return status_;
}

// A header line ends at CR LF. A CR not followed at once by its LF ends no
// line: the request is refused, since a proxy in front may have read the same
// bytes as one line. The empty line's CR ends the header at once, as it
// always has, and its LF is skipped when it comes. An LF anywhere else is a
// control character and vanishes.
void RequestReader::TakeHeaderByte(char byte) {
    if (++headerBytes_ > kHeaderLimit) {
        Refuse(Refusal::HeaderTooLarge);
        return;
    }
    if (lineFeedDue_) {
        lineFeedDue_ = false;
        if (byte != '\n') Refuse(Refusal::BadLineEnd);
        return;
    }
    if (IsControlCharacter(static_cast<unsigned char>(byte))) return;
    if (byte != '\r') {
        line_.push_back(byte);
        return;
    }
    std::string line = content::TrimSpaces(line_);
    line_.clear();
    if (line.empty()) {
        EndHeader();
        return;
    }
    lineFeedDue_ = true;
    // The first line is the request line, whatever it holds; every later
    // line is a header line, whatever its name.
    if (requestLineRead_) {
        TakeHeaderLine(line);
    } else {
        requestLineRead_ = true;
        TakeRequestLine(line);
    }
}

void RequestReader::EndHeader() {
    headerDone_ = true;
    skipLineFeed_ = true;
    if (!WantsBody()) {
        status_ = Status::Decided;
        return;
    }
    if (request_.contentLength == -2) {
        Refuse(Refusal::BadLength);
    } else if (request_.contentLength > kBodyLimit) {
        Refuse(Refusal::BodyTooLarge);
    }
}

void RequestReader::Refuse(Refusal refusal) {
    request_.refusal = refusal;
    request_.body.Clear();
    status_ = Status::Decided;
}

// Only what the body can still use is kept: with a length, up to it; without
// one, the first line as it will be used, control characters and leading and
// trailing spaces left out as the bytes come.
void RequestReader::TakeBodyBytes(const char* bytes, size_t count) {
    if (status_ != Status::NotYet || !headerDone_) return;
    Request& r = request_;
    if (r.contentLength >= 0) {
        const uint64_t wanted = static_cast<uint64_t>(r.contentLength) - r.body.size();
        const size_t taken = count < wanted ? count : static_cast<size_t>(wanted);
        if (!r.body.Append(bytes, taken)) Refuse(Refusal::BodyNotKept);
        return;
    }
    if (bodyLineEnded_) return;
    std::string kept;
    for (size_t i = 0; i < count; ++i) {
        const char byte = bytes[i];
        if (byte == '\r') {
            bodyLineEnded_ = true;
            break;
        }
        if (++bodyLineSeen_ > static_cast<uint64_t>(kBodyLimit)) {
            Refuse(Refusal::BodyTooLarge);
            return;
        }
        if (IsControlCharacter(static_cast<unsigned char>(byte))) continue;
        if (byte == ' ') {
            if (!r.body.empty() || !kept.empty()) ++heldSpaces_;
            continue;
        }
        kept.append(heldSpaces_, ' ');
        heldSpaces_ = 0;
        kept.push_back(byte);
    }
    if (!kept.empty() && !r.body.Append(kept.data(), kept.size())) Refuse(Refusal::BodyNotKept);
}

bool RequestReader::WantsBody() const { return request_.method == "POST" && request_.cgiFlag != 0; }

// A POST to a program waits for its body: as many bytes as Content-Length
// says, or without one the first line (at its carriage return, or whatever
// came when no more will).
void RequestReader::CheckBody(bool finished) {
    if (status_ != Status::NotYet || !headerDone_) return;
    Request& r = request_;
    if (r.contentLength >= 0) {
        if (r.body.size() < static_cast<uint64_t>(r.contentLength)) {
            // The announced body never came whole: nothing is started.
            if (finished) status_ = Status::NoAnswer;
            return;
        }
    } else if (!bodyLineEnded_ && !finished) {
        return;
    }
    // The query is at most the first few kilobytes of the first line, all in memory.
    r.query = QueryOf(r.body.head());
    status_ = Status::Decided;
}

// A request line that names no method the server knows leaves the method and
// path empty.
void RequestReader::TakeRequestLine(const std::string& line) {
    Request& r = request_;
    const bool head = StartsWithNoCase(line, "HEAD");
    if (StartsWithNoCase(line, "GET") || StartsWithNoCase(line, "PUT") || head) {
        // The URL starts after the method's own space.
        r.url = content::UrlOfLine(line, head ? 6 : 5);
        r.path = content::MapUrl(r.url);
        r.extension = content::PathExtension(r.path);
        content::SplitProgramQuery(r.path, r.query, r.programName);
        r.contentType = content::ContentTypeFor(r.extension, r.cgiFlag);
        r.method = "GET";
        r.head = head;
    } else if (StartsWithNoCase(line, "POST")) {
        r.url = content::UrlOfLine(line, 6);
        r.path = content::MapUrl(r.url);
        r.extension = content::PathExtension(r.path);
        // The query of a POST is its body; the URL's own query is not part of the name.
        std::string urlQuery;
        content::SplitProgramQuery(r.path, urlQuery, r.programName);
        r.query.clear();
        r.contentType = content::ContentTypeFor(r.extension, r.cgiFlag);
        r.method = "POST";
        r.head = false;
    }
}

void RequestReader::TakeHeaderLine(const std::string& line) {
    Request& r = request_;
    if (StartsWithNoCase(line, "ACCEPT:")) {
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
    } else if (StartsWithNoCase(line, "COOKIE:")) {
        r.cookie = ValueAfter(line, 7);
    } else if (StartsWithNoCase(line, "CONTENT-TYPE:")) {
        r.bodyType = ValueAfter(line, 13);
    } else if (StartsWithNoCase(line, "CONTENT-LENGTH:")) {
        r.contentLength = ParseLength(ValueAfter(line, 15));
    } else if (StartsWithNoCase(line, "RANGE:")) {
        r.range = ValueAfter(line, 6);
    } else if (StartsWithNoCase(line, "IF-RANGE:")) {
        r.ifRange = ValueAfter(line, 9);
    } else if (StartsWithNoCase(line, "IF-NONE-MATCH:")) {
        r.ifNoneMatch = ValueAfter(line, 14);
    } else if (StartsWithNoCase(line, "IF-MODIFIED-SINCE:")) {
        r.ifModifiedSince = ValueAfter(line, 18);
    }
}

}  // namespace qv::server
