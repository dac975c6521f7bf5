// The program route: run a program of the CGI directory with three exchange
// files as its standard handles and send what it wrote. Started in one half
// and finished in the other, so the connection can wait for the program's end
// without holding anyone else up.
#include "content/cgi_environment.h"
#include "content/exchange_files.h"
#include "content/path_safety.h"
#include "server/directory_guard.h"
#include "server/responses.h"
#include "server/routes.h"

namespace qv::server {
namespace {

std::string ExchangeFileName(const std::string& cgiDirectory, const char* prefix, int32_t slot) {
    return platform::NativeFileName(cgiDirectory + prefix + std::to_string(slot) + ".TMP");
}

}  // namespace

Answer StartProgramRoute(const Connection& connection, const Request& request, const Settings& settings,
                         ProgramRun& run) {
    run = ProgramRun{};
    const std::string& dir = settings.cgiDirectory;
    std::string application;
    if (CheckContained(dir, request.programName, application) == Containment::Outside) {
        return AnswerOf(NotFoundResponse());
    }
    // A batch program reads its command line by the command interpreter's rules,
    // so it gets its own name alone, and only a name those rules cannot misread.
    bool batch = content::IsBatchExtension(request.extension);
    if (batch && !content::IsSafeBatchProgramName(request.programName)) return AnswerOf(NotFoundResponse());

    platform::ProgramLaunch launch;
    launch.application = application;
    launch.commandLine = batch ? request.programName : request.programName + request.query;
    launch.environmentBlock = content::BuildCgiEnvironment(
        request.method, request.query, request.host, request.accept, request.acceptLanguage,
        request.acceptEncoding, request.userAgent, request.referer, request.connection);
    launch.workingDirectory = platform::NativeFileName(dir);

    const std::string errName = ExchangeFileName(dir, "QuorvexErr", connection.slot);
    const std::string inName = ExchangeFileName(dir, "QuorvexIn", connection.slot);
    const std::string outName = ExchangeFileName(dir, "QuorvexOut", connection.slot);
    platform::File toProgram = content::CreateExchangeFile(outName, content::kExchangeWriteMode);
    platform::File fromProgram = content::CreateExchangeFile(inName, content::kExchangeWriteMode);
    platform::File errors = content::CreateExchangeFile(errName, content::kExchangeWriteMode);
    content::WriteHandleLine(toProgram, request.query);
    // The program reads its standard input from the start of the file.
    if (toProgram != 0) platform::Rewind(toProgram);
    launch.standardInput = toProgram;
    launch.standardOutput = fromProgram;
    launch.standardError = errors;

    run.toProgram = toProgram;
    run.fromProgram = fromProgram;
    run.errors = errors;
    run.inName = inName;
    run.outName = outName;
    run.errName = errName;
    run.process = platform::StartProgram(launch);
    if (run.process != 0) return Answer();
    DropProgramRoute(run);
    return AnswerOf(ProgramFailedResponse(request.contentType, dir, request.programName));
}

Answer FinishProgramRoute(ProgramRun& run, const Request& request) {
    // Whatever the program wrote by now, whether it has ended or its time is up.
    std::string output = content::ReadHandleText(run.fromProgram);
    DropProgramRoute(run);
    return AnswerOf(ContentResponse(request.contentType, output));
}

void DropProgramRoute(ProgramRun& run) {
    if (run.process != 0) platform::CloseProcess(run.process);
    content::CloseFileHandle(run.fromProgram);
    content::CloseFileHandle(run.toProgram);
    content::CloseFileHandle(run.errors);
    if (!run.errName.empty()) platform::RemoveFile(run.errName);
    if (!run.inName.empty()) platform::RemoveFile(run.inName);
    if (!run.outName.empty()) platform::RemoveFile(run.outName);
    run = ProgramRun{};
}

}  // namespace qv::server
