// Arbitrary bytes through the request reader, fed in pieces chosen by the
// input's first bytes, then on to everything the dispatcher works out from the
// decided request: the refusals, the route, the mapped path and its
// extension, the content type, the program name and query, the posted body,
// the decoded name and the name check, the byte range and the conditions on
// the file, and the program's environment block.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "content/byte_range.h"
#include "content/cgi_environment.h"
#include "content/content_type.h"
#include "content/path_safety.h"
#include "content/trim.h"
#include "content/url_decode.h"
#include "content/url_path.h"
#include "content/validators.h"
#include "fuzz_check.h"
#include "server/request_reader.h"

namespace {

using qv::server::Request;
using qv::server::RequestReader;

// The 37 entries, then CONTENT_LENGTH, CONTENT_TYPE and REMOTE_ADDR.
constexpr size_t kEnvironmentEntries = 40;

bool SameRequest(const Request& a, const Request& b) {
    return a.method == b.method && a.path == b.path && a.extension == b.extension &&
           a.programName == b.programName && a.query == b.query && a.contentType == b.contentType &&
           a.cgiFlag == b.cgiFlag && a.accept == b.accept && a.acceptLanguage == b.acceptLanguage &&
           a.acceptEncoding == b.acceptEncoding && a.userAgent == b.userAgent && a.host == b.host &&
           a.connection == b.connection && a.referer == b.referer && a.head == b.head && a.url == b.url &&
           a.cookie == b.cookie && a.bodyType == b.bodyType && a.range == b.range && a.ifRange == b.ifRange &&
           a.ifNoneMatch == b.ifNoneMatch && a.ifModifiedSince == b.ifModifiedSince &&
           a.contentLength == b.contentLength && a.body == b.body && a.refusal == b.refusal && a.verb == b.verb &&
           a.http11 == b.http11 && a.chunked == b.chunked && a.hostLine == b.hostLine &&
           a.expectsContinue == b.expectsContinue;
}

// No byte the reader removes (0-12, 14-26) and no carriage return, which ends lines.
bool IsCleanText(const std::string& text) {
    for (char c : text) {
        if (qv::server::IsControlCharacter(static_cast<unsigned char>(c)) || c == '\r') return false;
    }
    return true;
}

std::vector<std::string> SplitAtZeros(const std::string& block) {
    std::vector<std::string> entries;
    size_t begin = 0;
    for (size_t i = 0; i < block.size(); ++i) {
        if (block[i] != '\0') continue;
        entries.push_back(block.substr(begin, i - begin));
        begin = i + 1;
    }
    return entries;
}

void CheckEnvironment(const Request& r) {
    qv::platform::LocalTime today{};
    today.year = 2024;
    today.month = 2;
    today.day = 29;
    qv::content::CgiRequestExtras extras;
    extras.cookie = r.cookie;
    extras.host = qv::content::TrimSpaces(r.host);
    extras.contentLength = std::to_string(r.body.size());
    extras.contentType = r.bodyType;
    extras.remoteAddress = "192.0.2.1";
    const std::string block =
        qv::content::BuildCgiEnvironment(r.method, r.query, r.host, r.accept, r.acceptLanguage,
                                         r.acceptEncoding, r.userAgent, r.referer, r.connection,
                                         today, "fuzz-host", extras);
    FUZZ_REQUIRE(block.size() >= 3);
    FUZZ_REQUIRE(block.compare(block.size() - 3, 3, std::string(3, '\0')) == 0);
    // Entries end at zero bytes; the last two zeros end the block.
    const std::vector<std::string> parts = SplitAtZeros(block.substr(0, block.size() - 2));
    FUZZ_REQUIRE(parts.size() == kEnvironmentEntries);
    for (const std::string& entry : parts) {
        FUZZ_REQUIRE(!entry.empty() && entry.find('=') != std::string::npos);
    }
    FUZZ_REQUIRE(parts[0] == "REQUEST_METHOD=" + r.method);
    FUZZ_REQUIRE(parts[1] == "QUERY_STRING=" + r.query);
    FUZZ_REQUIRE(parts[4] == "REMOTE_ADDRESS=" + r.host);
    FUZZ_REQUIRE(parts[16] == "HTTP_ACCEPT=" + r.accept);
    FUZZ_REQUIRE(parts[20] == "HTTP_USER_AGENT=" + r.userAgent);
    FUZZ_REQUIRE(parts[22] == "HTTP_CONNECTION=" + r.connection);
    FUZZ_REQUIRE(parts[31] == "DATE_LOCAL=02-29-2024");
    FUZZ_REQUIRE(parts[33] == "LOCAL_ADDR=fuzz-host");
    FUZZ_REQUIRE(parts[24] == "HTTP_COOKIE=" + r.cookie);
    FUZZ_REQUIRE(parts[25] == "HTTP_HOST=" + extras.host);
    FUZZ_REQUIRE(parts[37] == "CONTENT_LENGTH=" + extras.contentLength);
    FUZZ_REQUIRE(parts[38] == "CONTENT_TYPE=" + r.bodyType);
    FUZZ_REQUIRE(parts[39] == "REMOTE_ADDR=192.0.2.1");
}

void CheckNameVerdict(const std::string& name);

// The file route's reading of the URL, the range and the conditions, on a
// file whose size and time come from the request itself.
void CheckFileAnswerParts(const Request& r) {
    const qv::content::FileTarget target = qv::content::FileTargetOf(r.url);
    FUZZ_REQUIRE(target.path.find('?') == std::string::npos);
    std::string decoded;
    if (qv::content::DecodeName(target.path, decoded)) {
        FUZZ_REQUIRE(qv::content::IsValidUtf8(decoded));
        for (char c : decoded) FUZZ_REQUIRE(static_cast<unsigned char>(c) >= 32 && c != 127);
        CheckNameVerdict(decoded);
        const std::string type = qv::content::ContentTypeOfFile(decoded);
        FUZZ_REQUIRE(!type.empty() && IsCleanText(type));
    }
    for (uint64_t size : {uint64_t{0}, uint64_t{1}, static_cast<uint64_t>(r.url.size()), uint64_t{1} << 40}) {
        const qv::content::ByteRange range = qv::content::ChooseRange(r.range, size);
        if (range.kind == qv::content::ByteRange::Kind::Part) {
            FUZZ_REQUIRE(range.length > 0 && range.first < size && range.length <= size - range.first);
        }
    }
    const int64_t modified = static_cast<int64_t>(r.ifRange.size() * 86400 + r.ifNoneMatch.size());
    qv::content::FileValidators file{qv::content::EntityTag(r.url.size(), modified), modified};
    qv::content::NotModified(file, r.ifNoneMatch, r.ifModifiedSince);
    qv::content::IfRangeHolds(file, r.ifRange);
    int64_t since = 0;
    if (qv::content::ParseHttpDate(r.ifModifiedSince, since)) {
        int64_t again = -1;
        FUZZ_REQUIRE(qv::content::ParseHttpDate(qv::content::HttpDate(since), again) && again == since);
    }
}

// A name the check lets through has no component that climbs out.
void CheckNameVerdict(const std::string& name) {
    if (!qv::content::IsContainedRelativeName(name)) return;
    FUZZ_REQUIRE(!name.empty() && name.front() != '\\' && name.front() != '/');
    FUZZ_REQUIRE(name.find(':') == std::string::npos);
    size_t begin = 0;
    for (;;) {
        size_t end = name.find_first_of("\\/", begin);
        const std::string component = name.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        FUZZ_REQUIRE(!component.empty() && component != "." && component != "..");
        if (end == std::string::npos) break;
        begin = end + 1;
    }
}

// What the dispatcher works out from a decided request.
void CheckDecided(const Request& r, size_t fed) {
    FUZZ_REQUIRE(r.method.empty() || r.method == "GET" || r.method == "POST");
    for (const std::string* field : {&r.path, &r.extension, &r.programName, &r.query, &r.accept,
                                     &r.acceptLanguage, &r.acceptEncoding, &r.userAgent, &r.host,
                                     &r.connection, &r.referer, &r.url, &r.cookie, &r.bodyType, &r.range,
                                     &r.ifRange, &r.ifNoneMatch, &r.ifModifiedSince}) {
        FUZZ_REQUIRE(IsCleanText(*field));
    }
    FUZZ_REQUIRE(r.query.size() <= RequestReader::kBodyQueryLimit || r.method == "GET");
    FUZZ_REQUIRE(r.body.size() <= static_cast<size_t>(RequestReader::kDefaultBodyLimit));
    if (r.refusal == qv::server::Refusal::HeaderTooLarge) {
        // Refused only with more than the limit fed.
        FUZZ_REQUIRE(fed > RequestReader::kHeaderLimit && r.body.empty());
        return;
    }
    if (r.refusal == qv::server::Refusal::BadLineEnd) {
        // Refused inside the header, within the limit.
        FUZZ_REQUIRE(fed >= 2 && r.body.empty());
        return;
    }
    using qv::server::Refusal;
    if (r.refusal != Refusal::None) {
        FUZZ_REQUIRE(r.body.empty());
        const bool takesBody = r.method == "POST" && r.cgiFlag != 0;
        switch (r.refusal) {
        case Refusal::BadLength:
            FUZZ_REQUIRE(r.contentLength == -2);
            break;
        case Refusal::BadFraming:
            FUZZ_REQUIRE(r.chunked || r.contentLength == -2);
            break;
        case Refusal::MissingHost:
            FUZZ_REQUIRE(r.http11 && !r.hostLine && r.contentLength != -2);
            break;
        case Refusal::BadChunk:
            FUZZ_REQUIRE(takesBody && r.chunked && r.http11 && r.contentLength == -1);
            break;
        case Refusal::BodyTooLarge:
        case Refusal::BodyNotKept:
            FUZZ_REQUIRE(takesBody);
            break;
        case Refusal::HeaderTooLarge:
        case Refusal::BadLineEnd:
        case Refusal::None:
            FUZZ_REQUIRE(false);
            break;
        }
        return;
    }
    // Framing the server reads: a length, or chunked alone on HTTP/1.1.
    FUZZ_REQUIRE(r.contentLength != -2);
    if (r.chunked) FUZZ_REQUIRE(r.http11 && r.contentLength == -1);
    if (r.http11) FUZZ_REQUIRE(r.hostLine);
    if (r.expectsContinue) FUZZ_REQUIRE(r.http11);
    // The method as answered agrees with the method as handed on.
    using qv::server::Verb;
    FUZZ_REQUIRE((r.verb == Verb::Head) == r.head);
    FUZZ_REQUIRE((r.verb == Verb::Post) == (r.method == "POST"));
    if (r.verb == Verb::Get || r.verb == Verb::Head) FUZZ_REQUIRE(r.method == "GET");
    if (r.method.empty()) FUZZ_REQUIRE(r.verb == Verb::None || r.verb == Verb::Options || r.verb == Verb::Other);
    if (r.verb == Verb::None) FUZZ_REQUIRE(r.method.empty() && r.url.empty());
    if (r.method == "POST" && r.cgiFlag != 0 && r.contentLength >= 0) {
        FUZZ_REQUIRE(r.body.size() == static_cast<size_t>(r.contentLength));
    }
    if (r.head) FUZZ_REQUIRE(r.method == "GET");
    if (r.method.empty()) {
        // No request line: nothing was mapped.
        FUZZ_REQUIRE(r.path.empty() && r.programName.empty() && r.query.empty() && r.cgiFlag == 0);
        return;
    }

    // The mapped path.
    FUZZ_REQUIRE(!r.path.empty());
    FUZZ_REQUIRE(r.path.find(' ') == std::string::npos);
    FUZZ_REQUIRE(r.path.find('/') == std::string::npos);
    FUZZ_REQUIRE(r.path.find('.') != std::string::npos);
    FUZZ_REQUIRE(r.extension == qv::content::PathExtension(r.path));
    FUZZ_REQUIRE(r.extension.find('?') == std::string::npos);
    FUZZ_REQUIRE(r.path.find(r.extension) != std::string::npos);

    int16_t flag = -1;
    FUZZ_REQUIRE(r.contentType == qv::content::ContentTypeFor(r.extension, flag));
    FUZZ_REQUIRE(flag == r.cgiFlag && (flag == 0 || flag == 1));
    FUZZ_REQUIRE(!r.contentType.empty());

    if (r.method == "GET") {
        std::string query, program;
        qv::content::SplitProgramQuery(r.path, query, program);
        FUZZ_REQUIRE(query == r.query && program == r.programName);
        const size_t mark = r.path.find('?');
        FUZZ_REQUIRE(mark == std::string::npos ? program == r.path && query.empty()
                                               : program + "?" + query == r.path);
    } else {
        // The URL's own query is not part of a posted program's name.
        FUZZ_REQUIRE(r.programName == r.path.substr(0, r.path.find('?')));
        if (r.cgiFlag == 0) FUZZ_REQUIRE(r.query.empty());
        FUZZ_REQUIRE(r.query == qv::content::TrimSpaces(r.query));
    }

    // The route, first match wins: a program, else the host or the file.
    if (r.cgiFlag != 0) {
        CheckNameVerdict(r.programName);
        if (qv::content::IsBatchExtension(r.extension) &&
            qv::content::IsSafeBatchProgramName(r.programName)) {
            FUZZ_REQUIRE(qv::content::IsContainedRelativeName(r.programName));
            FUZZ_REQUIRE(r.programName.find_first_of("&|<>^%!\"(),;= \t") == std::string::npos);
        }
        CheckEnvironment(r);
    } else {
        CheckNameVerdict(r.path);
        const std::string field = qv::content::TrimRequestText(r.path);
        FUZZ_REQUIRE(r.path.find(field) != std::string::npos);
        CheckFileAnswerParts(r);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte: how many cut points follow (0-7), each one byte long,
    // the length of one piece; the rest is the request.
    if (size == 0) return 0;
    size_t cuts = data[0] % 8;
    size_t at = 1;
    std::vector<size_t> pieces;
    for (; cuts > 0 && at < size; --cuts, ++at) pieces.push_back(data[at]);
    const std::string bytes(reinterpret_cast<const char*>(data + at), size - at);

    RequestReader split;
    size_t offset = 0;
    RequestReader::Status last = RequestReader::Status::NotYet;
    for (size_t piece : pieces) {
        const size_t length = piece < bytes.size() - offset ? piece : bytes.size() - offset;
        const RequestReader::Status status = split.Feed(bytes.substr(offset, length));
        // Once decided, a request stays decided.
        if (last != RequestReader::Status::NotYet) FUZZ_REQUIRE(status == last);
        last = status;
        offset += length;
    }
    split.Feed(bytes.substr(offset));
    const RequestReader::Status splitStatus = split.Finish();
    FUZZ_REQUIRE(splitStatus != RequestReader::Status::NotYet);
    FUZZ_REQUIRE(split.Finish() == splitStatus);
    // Bytes after the end change nothing.
    const Request before = split.request();
    FUZZ_REQUIRE(split.Feed("GET /other.exe?x HTTP/1.0\r\r") == splitStatus);
    FUZZ_REQUIRE(SameRequest(before, split.request()));

    RequestReader whole;
    whole.Feed(bytes);
    FUZZ_REQUIRE(whole.Finish() == splitStatus);
    FUZZ_REQUIRE(SameRequest(whole.request(), split.request()));

    if (splitStatus == RequestReader::Status::Decided) CheckDecided(split.request(), bytes.size());
    return 0;
}
