#include "content/program_output.h"

#include <utility>

namespace qv::content {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameNameNoCase(const std::string& name, const char* wanted) {
    size_t i = 0;
    for (; i < name.size() && wanted[i] != '\0'; ++i) {
        if (Lower(name[i]) != wanted[i]) return false;
    }
    return i == name.size() && wanted[i] == '\0';
}

// The characters of a field name (a token).
bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    for (const char* p = "!#$%&'*+-.^_`|~"; *p != '\0'; ++p) {
        if (c == *p) return true;
    }
    return false;
}

bool IsToken(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!IsTokenChar(c)) return false;
    }
    return true;
}

// A control byte other than a tab: never passed on in a field, so no line
// end (nor anything a client could take for one) gets through.
bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && byte != '\t') || byte == 0x7f;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

struct Field {
    std::string name;
    std::string value;
};

// "Name: value", the value without the blanks around it; false for a name
// that is no token (a folded line's leading blank included), a blank before
// the colon, or a control byte anywhere.
bool SplitField(const std::string& line, Field& field) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return false;
    field.name = line.substr(0, colon);
    if (!IsToken(field.name)) return false;
    size_t begin = colon + 1;
    size_t end = line.size();
    while (begin < end && IsBlank(line[begin])) ++begin;
    while (end > begin && IsBlank(line[end - 1])) --end;
    field.value = line.substr(begin, end - begin);
    for (char c : field.value) {
        if (IsControl(c)) return false;
    }
    return true;
}

// "NNN" or "NNN reason", NNN a final status from 200 to 599.
bool ReadStatus(const std::string& value, int& status, std::string& reason) {
    if (value.size() < 3) return false;
    int code = 0;
    for (size_t i = 0; i < 3; ++i) {
        if (value[i] < '0' || value[i] > '9') return false;
        code = code * 10 + (value[i] - '0');
    }
    if (code < 200 || code > 599) return false;
    if (value.size() > 3 && !IsBlank(value[3])) return false;
    size_t begin = 3;
    while (begin < value.size() && IsBlank(value[begin])) ++begin;
    status = code;
    reason = value.substr(begin);
    return true;
}

// "type/subtype", then parameters after a ';'.
bool IsMediaType(const std::string& value) {
    const size_t slash = value.find('/');
    if (slash == std::string::npos || !IsToken(value.substr(0, slash))) return false;
    size_t end = slash + 1;
    while (end < value.size() && IsTokenChar(value[end])) ++end;
    if (end == slash + 1) return false;
    while (end < value.size() && IsBlank(value[end])) ++end;
    return end == value.size() || value[end] == ';';
}

// A URL or a path: something, and no blank in it.
bool IsLocation(const std::string& value) {
    if (value.empty()) return false;
    for (char c : value) {
        if (IsBlank(c)) return false;
    }
    return true;
}

// The fields the server sets itself, whatever a program says: the framing,
// the connection's own fields, and the server's name and date.
bool ServerOwns(const std::string& name) {
    static const char* const kOwned[] = {
        "content-length", "transfer-encoding", "connection", "keep-alive", "proxy-connection", "upgrade",
        "te",             "trailer",           "server",     "date",       "accept-ranges",
    };
    for (const char* owned : kOwned) {
        if (SameNameNoCase(name, owned)) return true;
    }
    return false;
}

enum class Role { Status, ContentType, Location, Other };

Role RoleOf(const std::string& name) {
    if (SameNameNoCase(name, "status")) return Role::Status;
    if (SameNameNoCase(name, "content-type")) return Role::ContentType;
    if (SameNameNoCase(name, "location")) return Role::Location;
    return Role::Other;
}

// Takes one field into `headers`; false when it is not valid for its role or
// its role was filled already.
bool TakeField(const Field& field, ProgramHeaders& headers) {
    switch (RoleOf(field.name)) {
    case Role::Status:
        return headers.status == 0 && ReadStatus(field.value, headers.status, headers.reason);
    case Role::ContentType:
        if (!headers.contentType.empty() || !IsMediaType(field.value)) return false;
        headers.contentType = field.value;
        return true;
    case Role::Location:
        if (!headers.location.empty() || !IsLocation(field.value)) return false;
        headers.location = field.value;
        return true;
    case Role::Other:
        break;
    }
    if (!ServerOwns(field.name)) headers.fields += field.name + ": " + field.value + "\r\n";
    return true;
}

const char* StandardReason(int status) {
    static const std::pair<int, const char*> kReasons[] = {
        {200, "OK"},
        {201, "Created"},
        {202, "Accepted"},
        {203, "Non-Authoritative Information"},
        {204, "No Content"},
        {205, "Reset Content"},
        {206, "Partial Content"},
        {300, "Multiple Choices"},
        {301, "Moved Permanently"},
        {302, "Found"},
        {303, "See Other"},
        {304, "Not Modified"},
        {307, "Temporary Redirect"},
        {308, "Permanent Redirect"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {406, "Not Acceptable"},
        {409, "Conflict"},
        {410, "Gone"},
        {412, "Precondition Failed"},
        {413, "Content Too Large"},
        {415, "Unsupported Media Type"},
        {422, "Unprocessable Content"},
        {429, "Too Many Requests"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
    };
    for (const auto& known : kReasons) {
        if (known.first == status) return known.second;
    }
    return "";
}

}  // namespace

ProgramHeaders ReadProgramHeaders(const std::string& start) {
    ProgramHeaders page;
    const std::string within = start.substr(0, kProgramHeaderLimit);
    ProgramHeaders headers;
    headers.kind = ProgramHeaders::Kind::Headers;
    bool valid = true;
    size_t position = 0;
    for (bool first = true;; first = false) {
        const size_t end = within.find('\n', position);
        // No empty line within the limit: not a header block.
        if (end == std::string::npos) return page;
        std::string line = within.substr(position, end - position);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        position = end + 1;
        if (line.empty()) {
            // An empty first line is a page that starts with an empty line.
            if (first) return page;
            break;
        }
        Field field;
        const bool split = SplitField(line, field);
        if (first) {
            // Only these three fields make the output a header block.
            if (!split || RoleOf(field.name) == Role::Other || !TakeField(field, headers)) return page;
            continue;
        }
        // A bad line is remembered, but the block is only a block once its
        // empty line is found.
        if (valid) valid = split && TakeField(field, headers);
    }
    if (!valid) {
        ProgramHeaders malformed;
        malformed.kind = ProgramHeaders::Kind::Malformed;
        return malformed;
    }
    headers.bodyOffset = position;
    return headers;
}

std::string ProgramAnswerHeader(const ProgramHeaders& headers, const std::string& defaultType, uint64_t bodyLength,
                                bool& bodyAllowed) {
    const int status = headers.status != 0 ? headers.status : !headers.location.empty() ? 302 : 200;
    const std::string reason =
        headers.status != 0 && !headers.reason.empty() ? headers.reason : std::string(StandardReason(status));
    bodyAllowed = status != 204 && status != 304;
    std::string header = "HTTP/1.0 " + std::to_string(status) + " " + reason + "\r\n";
    header += "Server: Quorvex Version 1.0\r\n";
    if (bodyAllowed || !headers.contentType.empty()) {
        header += "Content-Type: " + (headers.contentType.empty() ? defaultType : headers.contentType) + "\r\n";
    }
    if (bodyAllowed) header += "Content-Length: " + std::to_string(bodyLength) + "\r\n";
    if (!headers.location.empty()) header += "Location: " + headers.location + "\r\n";
    header += headers.fields;
    header += "\r\n";
    return header;
}

namespace {

// A page about a program's answer in the look of the not-found page: its
// status, a headline, two lines of explanation, and the status again below.
std::string GatewayPage(const std::string& status, const std::string& headline, const std::string& firstLine,
                        const std::string& secondLine, const std::string& footer) {
    const std::string lines[] = {
        "<html>",
        "",
        "<head>",
        "<meta HTTP-EQUIV=\"Content-Type\" Content=\"text-html; charset=Windows-1252\">",
        "<title>HTTP " + status + "</title>",
        "</head>",
        "",
        "<body bgcolor=\"#0000FF\" text=\"#FFFF00\">",
        "<p align=\"center\"><font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"4\"><b>"
        "<font color=\"#FFFFFF\">" + headline + " </font></b></font></p>",
        "<p><font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"2\">" + firstLine,
        "  " + secondLine,
        "</font></p>",
        "<p align=\"center\"><font size=\"6\" face=\"Verdana, Arial, Helvetica, sans-serif\" "
        "color=\"#FF0000\"><i>HTTP " + footer + "</i></font></p>",
        "</body>",
        "</html>",
    };
    std::string page;
    for (const std::string& line : lines) {
        page += line;
        page += "\r\n";
    }
    return page;
}

}  // namespace

std::string BuildBadOutputPage() {
    return GatewayPage("502 Bad Gateway", "The program's answer could not be read.", "Its header lines hold a line",
                       "that is not a valid header field.", "502 - Bad gateway");
}

std::string BuildTimeUpPage() {
    return GatewayPage("504 Gateway Timeout", "The program did not finish in time.",
                       "It was ended when its time limit was up,", "and what it had written is not sent.",
                       "504 - Gateway timeout");
}

}  // namespace qv::content
