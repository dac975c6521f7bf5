// A program's output as the answer it makes: either a page, sent under the
// server's own header as it always was, or a header block of the program's
// own followed by the body.
//
// The output starts with a header block when its first line is a valid
// Content-Type, Status or Location field and an empty line follows within the
// first kProgramHeaderLimit bytes. Lines end at LF or CR LF. Anything else is
// a page, whatever it looks like.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qv::content {

// The header block and its empty line fit in this many bytes.
constexpr size_t kProgramHeaderLimit = 16384;

struct ProgramHeaders {
    enum class Kind {
        Page,       // no header block: the whole output is the page
        Headers,    // a header block, read
        Malformed,  // a header block with a line that cannot be passed on
    };
    Kind kind = Kind::Page;
    size_t bodyOffset = 0;  // Headers: the first byte after the block's empty line
    int status = 0;         // from Status (200 to 599); 0 when the block has none
    std::string reason;     // Status's text after the code, spaces around it removed
    std::string contentType;  // empty when the block has none
    std::string location;     // empty when the block has none
    // The fields passed on to the client, in the program's order, each as
    // "Name: value" CR LF; the fields the server sets itself are left out.
    std::string fields;
};

// Reads the header block at the start of the output; `start` is the output's
// first bytes, kProgramHeaderLimit of them or all of a shorter output.
ProgramHeaders ReadProgramHeaders(const std::string& start);

// The status line and header block an answer made from `headers` goes out
// with (HTTP/1.0, the server's name, the content type, the length, the
// program's fields, the empty line): the status the program gave, else 302
// with a Location, else 200; `defaultType` when the program named no type.
// `bodyAllowed` is false for a status that has no body (204, 304); the
// length line is then left out and nothing follows the header.
std::string ProgramAnswerHeader(const ProgramHeaders& headers, const std::string& defaultType, uint64_t bodyLength,
                                bool& bodyAllowed);

// The page of a program whose header block cannot be passed on, in the look
// of the not-found page; each line ended by CR LF.
std::string BuildBadOutputPage();

// The page of a program ended at its time limit, in the same look.
std::string BuildTimeUpPage();

}  // namespace qv::content
