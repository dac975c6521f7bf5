// The program route: run a program of the CGI directory with three exchange
// files as its standard handles and send what it wrote. Started in one half
// and finished in the other, so the connection can wait for the program's end
// without holding anyone else up.
#include <algorithm>
#include <mutex>
#include <utility>

#include "content/cgi_environment.h"
#include "content/exchange_files.h"
#include "content/path_safety.h"
#include "content/program_output.h"
#include "content/response_header.h"
#include "content/trim.h"
#include "content/url_decode.h"
#include "net/channel.h"
#include "server/directory_guard.h"
#include "server/responses.h"
#include "server/routes.h"

namespace qv::server {
namespace {

std::string ExchangeFileName(const std::string& cgiDirectory, const char* prefix, int32_t slot) {
    return platform::NativeFileName(cgiDirectory + prefix + std::to_string(slot) + ".TMP");
}

// The client's address alone, without its port (nor an IPv6 address's brackets).
std::string ClientAddress(int channel) {
    const std::string peer = net::ChannelPeerAddress(channel);
    if (!peer.empty() && peer.front() == '[') return peer.substr(1, peer.find(']') - 1);
    return peer.substr(0, peer.find(':'));
}

// The method as the client sent it: GET, HEAD, PUT (the only other method a
// program is run for) or POST.
std::string MethodOf(const Request& request) {
    if (request.verb == Verb::Head) return "HEAD";
    if (request.verb == Verb::Other) return "PUT";
    return request.method;
}

// The port the request came in on: the port the server listens on.
std::string ListeningPort() {
    ServerState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return std::to_string(state.listeningPort);
}

// `programName` is the decoded name below the CGI directory, '\\' between its parts.
content::CgiRequestExtras ExtrasOf(const Connection& connection, const Request& request,
                                   const std::string& programName) {
    content::CgiRequestExtras extras;
    extras.unescapedQuery = content::UnescapeQuery(request.query);
    extras.serverProtocol = request.http11 ? "HTTP/1.1" : "HTTP/1.0";
    extras.serverPort = ListeningPort();
    std::string path = programName;
    std::replace(path.begin(), path.end(), '\\', '/');
    extras.scriptName = "/" + path;
    extras.document = path.substr(path.rfind('/') + 1);
    extras.documentUri = extras.scriptName;
    extras.cookie = request.cookie;
    extras.host = content::TrimSpaces(request.host);
    if (request.method == "POST") extras.contentLength = std::to_string(request.body.size());
    extras.contentType = request.bodyType;
    extras.remoteAddress = ClientAddress(connection.channel);
    return extras;
}

// Prepares and starts the program, or composes the answer when nothing runs.
Answer StartOrRefuse(const Connection& connection, const Request& request, const Settings& settings,
                     bool mayRetry, ProgramRun& run) {
    const std::string& dir = settings.cgiDirectory;
    // The program's name as a file name: decoded, then checked like any other.
    std::string programName;
    if (!content::DecodeName(request.programName, programName)) return AnswerOf(NotFoundResponse());
    // A batch program reads its command line by the command interpreter's rules,
    // so it gets its own name alone, and only a name those rules cannot misread.
    bool batch = content::IsBatchExtension(request.extension);
    if (batch && !content::IsSafeBatchProgramName(programName)) return AnswerOf(NotFoundResponse());
    // The program checked is the program started: it stays open until then.
    const platform::OpenedFile program = OpenContained(dir, programName, platform::OpenPurpose::Run);
    if (program.outside) {
        // No CGI directory at all is the host's setting at fault, not the name:
        // the program cannot start.
        if (content::IsContainedRelativeName(programName) &&
            platform::ProbePath(platform::NativeFileName(dir)) == platform::PathKind::Missing) {
            return AnswerOf(ProgramFailedResponse(request.contentType, dir, programName));
        }
        return AnswerOf(NotFoundResponse());
    }

    platform::ProgramLaunch launch;
    launch.application = program.name;
    launch.program = program.file;
    launch.commandLine = batch ? programName : programName + request.query;
    launch.environmentBlock = content::BuildCgiEnvironment(
        MethodOf(request), request.query, request.host, request.accept, request.acceptLanguage,
        request.acceptEncoding, request.userAgent, request.referer, request.connection,
        ExtrasOf(connection, request, programName));
    launch.workingDirectory = platform::NativeFileName(dir);

    const std::string errName = ExchangeFileName(dir, "QuorvexErr", connection.slot);
    const std::string inName = ExchangeFileName(dir, "QuorvexIn", connection.slot);
    const std::string outName = ExchangeFileName(dir, "QuorvexOut", connection.slot);
    bool planted[3];
    platform::File toProgram = content::CreateExchangeFile(outName, content::kExchangeWriteMode, &planted[0]);
    platform::File fromProgram = content::CreateExchangeFile(inName, content::kExchangeWriteMode, &planted[1]);
    platform::File errors = content::CreateExchangeFile(errName, content::kExchangeWriteMode, &planted[2]);
    // Something else at an exchange file's name (a link, a directory): nothing is written or run.
    const bool exchangeBlocked = planted[0] || planted[1] || planted[2];
    run.toProgram = toProgram;
    run.fromProgram = fromProgram;
    run.errors = errors;
    // Only the files made here are removed; what was found at a name stays.
    if (toProgram != 0) run.outName = outName;
    if (fromProgram != 0) run.inName = inName;
    if (errors != 0) run.errName = errName;
    if (!exchangeBlocked && mayRetry && (toProgram == 0 || fromProgram == 0 || errors == 0)) {
        // A file that could not be made now (one still held by an earlier
        // program, say) may be made a little later: nothing starts yet.
        platform::CloseFile(program.file);
        DropProgramRoute(run);
        return Answer::OpenLater();
    }
    // A posted body goes in whole; its first line is also the query, so a
    // program that reads one line sees what it always saw.
    if (!exchangeBlocked) {
        if (request.method == "POST") {
            request.body.CopyTo(toProgram);
            content::WriteHandleText(toProgram, "\r\n");
        } else {
            content::WriteHandleLine(toProgram, request.query);
        }
    }
    // The program reads its standard input from the start of the file.
    if (toProgram != 0) platform::Rewind(toProgram);
    launch.standardInput = toProgram;
    launch.standardOutput = fromProgram;
    launch.standardError = errors;
    if (program.file != 0 && !exchangeBlocked) run.process = platform::StartProgram(launch);
    platform::CloseFile(program.file);
    if (run.process != 0) return Answer();
    DropProgramRoute(run);
    return AnswerOf(ProgramFailedResponse(request.contentType, dir, programName));
}

// The first `count` bytes of the output (fewer when it is shorter or a read fails).
std::string OutputStart(platform::File output, size_t count) {
    std::string start(count, '\0');
    size_t got = 0;
    while (got < count) {
        const long read = platform::ReadFileAt(output, got, &start[got], count - got);
        if (read <= 0) break;
        got += static_cast<size_t>(read);
    }
    start.resize(got);
    return start;
}

// `length` bytes of the output from `offset`, sent from a handle of the
// answer's own as the client takes them; nothing held in memory. (The
// exchange file's own handle is closed and its name removed meanwhile.)
Answer OutputStretch(std::string head, platform::File output, uint64_t offset, uint64_t length, std::string tail) {
    platform::File copy = length > 0 ? platform::ReopenForReading(output) : 0;
    if (length > 0 && copy == 0) {
        // No handle to send from: the answer ends short of its length, and the
        // client sees it cut rather than a success it did not get.
        length = 0;
        tail.clear();
    }
    return Answer(std::move(head), copy, offset, length, std::move(tail));
}

// The answer made of everything the program wrote: its own header block
// (status, type, location, fields) and the rest, or, without one, the whole
// output as the page under the server's header, exactly as ever.
Answer OutputAnswer(platform::File output, const std::string& contentType) {
    const int64_t written = output != 0 ? platform::FileSize(output) : 0;
    const uint64_t size = written > 0 ? static_cast<uint64_t>(written) : 0;
    const size_t startSize = static_cast<size_t>(std::min<uint64_t>(size, content::kProgramHeaderLimit));
    const content::ProgramHeaders headers = content::ReadProgramHeaders(OutputStart(output, startSize));
    switch (headers.kind) {
    case content::ProgramHeaders::Kind::Page:
        // The page's CR LF and the one every answer ends with.
        return OutputStretch(content::BuildResponseHeader(contentType, size), output, 0, size, "\r\n\r\n");
    case content::ProgramHeaders::Kind::Malformed:
        // Nothing of a block that cannot be passed on whole reaches the client.
        return AnswerOf(ResponseBlock("HTTP/1.0 502 Bad Gateway", "text/html", content::BuildBadOutputPage()));
    case content::ProgramHeaders::Kind::Headers:
        break;
    }
    const uint64_t bodyLength = size - headers.bodyOffset;
    bool bodyAllowed = true;
    std::string head = content::ProgramAnswerHeader(headers, contentType, bodyLength, bodyAllowed);
    // The body is exactly its length: nothing follows it.
    return OutputStretch(std::move(head), output, headers.bodyOffset, bodyAllowed ? bodyLength : 0, std::string());
}

}  // namespace

Answer StartProgramRoute(const Connection& connection, const Request& request, const Settings& settings,
                         bool mayRetry, ProgramRun& run) {
    run = ProgramRun{};
    Answer answer = StartOrRefuse(connection, request, settings, mayRetry, run);
    if (request.head) answer.DropBody();
    return answer;
}

Answer FinishProgramRoute(ProgramRun& run, const Request& request, bool timeUp) {
    // A program still running at its time limit is ended, with whatever it
    // started: it would otherwise go on writing into a file no one reads any
    // more. What it wrote so far is not its answer: the client is told so.
    if (run.process != 0) platform::EndProgram(run.process);
    Answer answer = timeUp ? AnswerOf(ResponseBlock("HTTP/1.0 504 Gateway Timeout", "text/html", content::BuildTimeUpPage()))
                           : OutputAnswer(run.fromProgram, request.contentType);
    DropProgramRoute(run);
    if (request.head) answer.DropBody();
    return answer;
}

void DropProgramRoute(ProgramRun& run) {
    if (run.process != 0) {
        platform::EndProgram(run.process);
        platform::CloseProcess(run.process);
    }
    content::CloseFileHandle(run.fromProgram);
    content::CloseFileHandle(run.toProgram);
    content::CloseFileHandle(run.errors);
    if (!run.errName.empty()) platform::RemoveFile(run.errName);
    if (!run.inName.empty()) platform::RemoveFile(run.inName);
    if (!run.outName.empty()) platform::RemoveFile(run.outName);
    run = ProgramRun{};
}

}  // namespace qv::server
