#include "server/request_reader.h"

#include <algorithm>
#include <cctype>
#include <vector>

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

// The elements of a comma-separated header value, spaces around each removed
// and empty ones left out.
std::vector<std::string> ListElements(const std::string& value) {
    std::vector<std::string> elements;
    size_t begin = 0;
    for (;;) {
        const size_t comma = value.find(',', begin);
        std::string element = content::TrimSpaces(value.substr(begin, comma == std::string::npos ? comma : comma - begin));
        if (!element.empty()) elements.push_back(std::move(element));
        if (comma == std::string::npos) return elements;
        begin = comma + 1;
    }
}

// A Content-Length value: decimal digits, or the same digits repeated as a
// list ("5, 5"); its digits without leading zeros, or empty for anything
// else, with `differ` set for a list of numbers that differ.
std::string LengthDigits(const std::string& value, bool& differ) {
    std::string digits;
    const std::vector<std::string> elements = ListElements(value);
    if (elements.empty() || value.find_first_not_of("0123456789, ") != std::string::npos) return std::string();
    for (const std::string& element : elements) {
        if (element.find_first_not_of("0123456789") != std::string::npos) return std::string();
        std::string number = element.substr(std::min(element.find_first_not_of('0'), element.size() - 1));
        if (!digits.empty() && number != digits) differ = true;
        digits = number;
    }
    return digits;
}

// The length the digits give, or the largest body limit plus one for a number too long to matter.
int64_t LengthOf(const std::string& digits) {
    int64_t length = 0;
    for (char c : digits) {
        length = length * 10 + (c - '0');
        if (length > RequestReader::kLargestBodyLimit) return RequestReader::kLargestBodyLimit + 1;
    }
    return length;
}

// An absolute URL ("http://host:port/page.htm?q") is taken as its path and
// query ("/page.htm?q"), as HTTP/1.1 servers must accept it; any other URL is
// left as it is.
std::string OriginForm(const std::string& url) {
    size_t after = 0;
    if (StartsWithNoCase(url, "HTTP://")) {
        after = 7;
    } else if (StartsWithNoCase(url, "HTTPS://")) {
        after = 8;
    } else {
        return url;
    }
    const size_t path = url.find_first_of("/?", after);
    if (path == std::string::npos) return "/";
    return url[path] == '?' ? "/" + url.substr(path) : url.substr(path);
}

// True when the request line's last word names HTTP/1.1 or a later version.
bool NamesHttp11(const std::string& line) {
    const size_t space = line.rfind(' ');
    if (space == std::string::npos) return false;
    const std::string version = line.substr(space + 1);
    if (!StartsWithNoCase(version, "HTTP/")) return false;
    const size_t dot = version.find('.', 5);
    const std::string major = version.substr(5, dot == std::string::npos ? std::string::npos : dot - 5);
    const std::string minor = dot == std::string::npos ? std::string() : version.substr(dot + 1);
    const auto number = [](const std::string& digits) {
        if (digits.empty() || digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
        return std::stoi(digits);
    };
    const int high = number(major);
    const int low = number(minor);
    return high > 1 || (high == 1 && low >= 1);
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

unsigned HexValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return static_cast<unsigned>(c - 'A' + 10);
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
    if (status_ == Status::NotYet && dropLeft_ > 0) {
        // What is left of the last request's body nobody reads.
        i = static_cast<size_t>(std::min<uint64_t>(dropLeft_, count));
        dropLeft_ -= i;
    }
    if (status_ == Status::NotYet) {
        for (; i < count && status_ == Status::NotYet && !headerDone_; ++i) TakeHeaderByte(bytes[i]);
        if (status_ == Status::NotYet && skipLineFeed_ && i < count) {
            skipLineFeed_ = false;
            if (bytes[i] == '\n') ++i;
        }
        if (status_ == Status::NotYet && i < count) i += TakeBodyBytes(bytes + i, count - i);
        CheckBody(false);
    }
    if (i < count) TakeAfterRequest(bytes + i, count - i);
    return status_;
}

// Past a decided request: the LF of its header's last line, the body nobody
// reads, then the next request's bytes, kept. Where the end is not known
// everything is dropped: the connection closes after the answer.
void RequestReader::TakeAfterRequest(const char* bytes, size_t count) {
    if (!endKnown()) return;
    size_t i = 0;
    if (skipLineFeed_ && count > 0) {
        skipLineFeed_ = false;
        if (bytes[0] == '\n') i = 1;
    }
    const uint64_t drop = std::min<uint64_t>(dropLeft_, count - i);
    dropLeft_ -= drop;
    i += static_cast<size_t>(drop);
    ahead_.append(bytes + i, count - i);
}

RequestReader RequestReader::Following() const {
    RequestReader next(bodyLimit_);
    next.follows_ = true;
    next.dropLeft_ = dropLeft_;
    return next;
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

// A header line ends at CR LF, or at an LF alone (as HTTP allows). A CR not
// followed at once by its LF ends no line: the request is refused, since a
// proxy in front may have read the same bytes as one line. The empty line's
// CR ends the header at once, as it always has, and its LF is skipped when it
// comes. Every other control character vanishes.
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
    if (follows_ && !requestLineRead_ && line_.empty() && (byte == '\r' || byte == '\n')) return;
    if (byte == '\n') {
        std::string line = content::TrimSpaces(line_);
        line_.clear();
        if (line.empty()) {
            EndHeader();
        } else {
            EndLine(line);
        }
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
        skipLineFeed_ = true;
        EndHeader();
        return;
    }
    lineFeedDue_ = true;
    EndLine(line);
}

// The first line is the request line, whatever it holds; every later line is
// a header line, whatever its name.
void RequestReader::EndLine(const std::string& line) {
    if (requestLineRead_) {
        TakeHeaderLine(line);
    } else {
        requestLineRead_ = true;
        TakeRequestLine(line);
    }
}

void RequestReader::EndHeader() {
    headerDone_ = true;
    Request& r = request_;
    if (lengthLines_ > 0) r.contentLength = lengthsDiffer_ || lengthDigits_.empty() ? -2 : LengthOf(lengthDigits_);
    r.chunked = !transferCodings_.empty();
    // Whether its body is read or not, a request must say where it ends.
    const Refusal framing = CheckFraming();
    if (framing != Refusal::None) {
        Refuse(framing);
        return;
    }
    if (r.http11 && !r.hostLine) {
        Refuse(Refusal::MissingHost);
        return;
    }
    if (!WantsBody()) {
        DecideAtHeader();
        return;
    }
    if (r.contentLength > bodyLimit_) Refuse(Refusal::BodyTooLarge);
}

// Decided by the header alone: a body nobody reads is dropped as it comes,
// when it can be told from what follows it and is short enough.
void RequestReader::DecideAtHeader() {
    const Request& r = request_;
    status_ = Status::Decided;
    if (!requestLineRead_ || r.chunked) return;
    if (r.contentLength > 0) {
        // A client waiting for the word to send its body may send it or not:
        // what comes next cannot be told from it.
        if (r.expectsContinue || r.contentLength > kDroppedBodyLimit) return;
        dropLeft_ = static_cast<uint64_t>(r.contentLength);
    }
    endKnown_ = true;
}

Refusal RequestReader::CheckFraming() const {
    const Request& r = request_;
    if (lengthsDiffer_) return Refusal::BadFraming;
    if (r.contentLength == -2) return Refusal::BadLength;
    if (!r.chunked) return Refusal::None;
    // Chunked is the one coding the server reads, and only alone: any other
    // (or chunked twice) leaves the body unreadable. A request older than
    // HTTP/1.1 has no transfer codings, and with a length beside them a proxy
    // may have gone by either.
    const std::vector<std::string> codings = ListElements(transferCodings_);
    const bool chunkedAlone = codings.size() == 1 && StartsWithNoCase(codings[0], "CHUNKED") && codings[0].size() == 7;
    if (!chunkedAlone || !r.http11 || lengthLines_ > 0) return Refusal::BadFraming;
    return Refusal::None;
}

void RequestReader::Refuse(Refusal refusal) {
    request_.refusal = refusal;
    request_.body.Clear();
    endKnown_ = false;
    status_ = Status::Decided;
}

// Only what the body can still use is kept: with a length, up to it; chunked,
// the data decoded; without either, the first line as it will be used,
// control characters and leading and trailing spaces left out as the bytes come.
size_t RequestReader::TakeBodyBytes(const char* bytes, size_t count) {
    if (status_ != Status::NotYet || !headerDone_) return 0;
    Request& r = request_;
    if (r.chunked) {
        size_t i = 0;
        while (i < count && status_ == Status::NotYet && chunk_ != Chunk::Done) i += TakeChunkedBytes(bytes + i, count - i);
        return i;
    }
    if (r.contentLength >= 0) {
        const uint64_t wanted = static_cast<uint64_t>(r.contentLength) - r.body.size();
        const size_t taken = count < wanted ? count : static_cast<size_t>(wanted);
        if (!r.body.Append(bytes, taken)) Refuse(Refusal::BodyNotKept);
        return taken;
    }
    // A body line has no end a next request could start after.
    if (bodyLineEnded_) return count;
    std::string kept;
    for (size_t i = 0; i < count; ++i) {
        const char byte = bytes[i];
        if (byte == '\r') {
            bodyLineEnded_ = true;
            break;
        }
        if (++bodyLineSeen_ > static_cast<uint64_t>(bodyLimit_)) {
            Refuse(Refusal::BodyTooLarge);
            return count;
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
    return count;
}

// A chunk's data in one stretch, or one byte of the framing around it; the
// count of bytes taken.
size_t RequestReader::TakeChunkedBytes(const char* bytes, size_t count) {
    if (chunk_ != Chunk::Data) {
        TakeChunkFramingByte(bytes[0]);
        return 1;
    }
    const size_t taken = chunkLeft_ < count ? static_cast<size_t>(chunkLeft_) : count;
    if (!request_.body.Append(bytes, taken)) {
        Refuse(Refusal::BodyNotKept);
        return taken;
    }
    chunkLeft_ -= taken;
    if (chunkLeft_ == 0) chunk_ = Chunk::DataEnd;
    return taken;
}

// The framing of a chunked body: each chunk its size in hex (extensions after
// a ';' ignored), a line end, the data and a line end; after the last chunk
// (size 0) trailer lines, read and dropped, up to an empty line. Line ends are
// CR LF or an LF alone, as in the header. Anything else breaks the framing.
void RequestReader::TakeChunkFramingByte(char byte) {
    if (++chunkFraming_ > static_cast<uint64_t>(kChunkFramingLimit)) {
        Refuse(Refusal::BodyTooLarge);
        return;
    }
    if (chunkLineFeedDue_) {
        chunkLineFeedDue_ = false;
        if (byte != '\n') {
            Refuse(Refusal::BadChunk);
            return;
        }
    } else if (byte == '\r' && chunk_ != Chunk::Data) {
        chunkLineFeedDue_ = true;
        return;
    }
    const bool lineEnd = byte == '\n';
    switch (chunk_) {
    case Chunk::Size:
        if (IsHexDigit(byte)) {
            chunkSizeSeen_ = true;
            if (chunkDigits_ > 0 || byte != '0') ++chunkDigits_;
            // More than 64 bits of size: no body that large is ever taken.
            if (chunkDigits_ > 16) {
                Refuse(Refusal::BadChunk);
                return;
            }
            chunkLeft_ = chunkLeft_ * 16 + HexValue(byte);
            return;
        }
        if (!chunkSizeSeen_) break;
        if (byte == ' ' || byte == '\t') {
            chunk_ = Chunk::AfterSize;
            return;
        }
        [[fallthrough]];
    case Chunk::AfterSize:
        if (byte == ' ' || byte == '\t') return;
        if (byte == ';') {
            chunk_ = Chunk::Extension;
            return;
        }
        if (!lineEnd) break;
        [[fallthrough]];
    case Chunk::Extension:
        if (!lineEnd) return;
        chunkSizeSeen_ = false;
        chunkDigits_ = 0;
        if (chunkLeft_ == 0) {
            chunk_ = Chunk::Trailer;
            return;
        }
        if (chunkLeft_ > static_cast<uint64_t>(bodyLimit_) - request_.body.size()) {
            Refuse(Refusal::BodyTooLarge);
            return;
        }
        chunk_ = Chunk::Data;
        return;
    case Chunk::DataEnd:
        if (!lineEnd) break;
        chunk_ = Chunk::Size;
        return;
    case Chunk::Trailer:
        // An empty line ends the body; any other line is a trailer, dropped.
        chunk_ = lineEnd ? Chunk::Done : Chunk::TrailerLine;
        return;
    case Chunk::TrailerLine:
        if (lineEnd) chunk_ = Chunk::Trailer;
        return;
    case Chunk::Data:
    case Chunk::Done:
        return;
    }
    Refuse(Refusal::BadChunk);
}

bool RequestReader::WantsBody() const { return request_.method == "POST" && request_.cgiFlag != 0; }

// A POST to a program waits for its body: as many bytes as Content-Length
// says, a chunked body up to its last chunk and trailer, or without either the
// first line (at its carriage return, or whatever came when no more will).
void RequestReader::CheckBody(bool finished) {
    if (status_ != Status::NotYet || !headerDone_) return;
    Request& r = request_;
    if (r.chunked) {
        if (chunk_ != Chunk::Done) {
            // The body never came whole: nothing is started.
            if (finished) status_ = Status::NoAnswer;
            return;
        }
    } else if (r.contentLength >= 0) {
        if (r.body.size() < static_cast<uint64_t>(r.contentLength)) {
            if (finished) status_ = Status::NoAnswer;
            return;
        }
    } else if (!bodyLineEnded_ && !finished) {
        return;
    }
    // The query is at most the first few kilobytes of the first line, all in memory.
    r.query = QueryOf(r.body.head());
    status_ = Status::Decided;
    // A body read by its length or its chunks ends where the next request may start.
    endKnown_ = r.chunked || r.contentLength >= 0;
}

// A request line names its method by the first letters, letter case
// ignored: GET, PUT and HEAD are read as GET and POST as POST, as they always
// were; any other line leaves the method and mapped path empty, and its URL
// (after the first word) is kept for the answer to its method alone.
void RequestReader::TakeRequestLine(const std::string& line) {
    Request& r = request_;
    r.http11 = NamesHttp11(line);
    const bool head = StartsWithNoCase(line, "HEAD");
    const bool put = StartsWithNoCase(line, "PUT");
    if (StartsWithNoCase(line, "GET") || put || head) {
        // The URL starts after the method's own space.
        r.url = OriginForm(content::UrlOfLine(line, head ? 6 : 5));
        r.path = content::MapUrl(r.url);
        r.extension = content::PathExtension(r.path);
        content::SplitProgramQuery(r.path, r.query, r.programName);
        r.contentType = content::ContentTypeFor(r.extension, r.cgiFlag);
        r.method = "GET";
        r.head = head;
        r.verb = head ? Verb::Head : put ? Verb::Other : Verb::Get;
    } else if (StartsWithNoCase(line, "POST")) {
        r.url = OriginForm(content::UrlOfLine(line, 6));
        r.path = content::MapUrl(r.url);
        r.extension = content::PathExtension(r.path);
        // The query of a POST is its body; the URL's own query is not part of the name.
        std::string urlQuery;
        content::SplitProgramQuery(r.path, urlQuery, r.programName);
        r.query.clear();
        r.contentType = content::ContentTypeFor(r.extension, r.cgiFlag);
        r.method = "POST";
        r.head = false;
        r.verb = Verb::Post;
    } else {
        const size_t space = line.find(' ');
        r.verb = StartsWithNoCase(line, "OPTIONS") && (space == 7 || line.size() == 7) ? Verb::Options : Verb::Other;
        if (space != std::string::npos) r.url = OriginForm(content::UrlOfLine(line, static_cast<int>(space) + 2));
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
        r.hostLine = true;
    } else if (StartsWithNoCase(line, "CONNECTION:")) {
        r.connection = line.substr(11);
        for (const std::string& element : ListElements(r.connection)) {
            r.connectionClose |= element.size() == 5 && StartsWithNoCase(element, "CLOSE");
            r.connectionKeepAlive |= element.size() == 10 && StartsWithNoCase(element, "KEEP-ALIVE");
        }
    } else if (StartsWithNoCase(line, "REFERER:")) {
        r.referer = line.substr(8);
    } else if (StartsWithNoCase(line, "COOKIE:")) {
        r.cookie = ValueAfter(line, 7);
    } else if (StartsWithNoCase(line, "CONTENT-TYPE:")) {
        r.bodyType = ValueAfter(line, 13);
    } else if (StartsWithNoCase(line, "CONTENT-LENGTH:")) {
        const std::string digits = LengthDigits(ValueAfter(line, 15), lengthsDiffer_);
        if (lengthLines_++ == 0) {
            lengthDigits_ = digits;
        } else if (digits != lengthDigits_) {
            lengthsDiffer_ = true;
        }
    } else if (StartsWithNoCase(line, "TRANSFER-ENCODING:")) {
        // Kept even when empty, so that an empty line is no way around the checks.
        transferCodings_ += "," + ValueAfter(line, 18);
    } else if (StartsWithNoCase(line, "EXPECT:")) {
        const std::string value = ValueAfter(line, 7);
        r.expectsContinue = r.http11 && value.size() == 12 && StartsWithNoCase(value, "100-CONTINUE");
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
