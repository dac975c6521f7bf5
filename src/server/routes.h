// The four ways of answering a request. Each composes the answer for the
// connection; the connection sends it and then closes.
#pragma once

#include <cstdint>
#include <string>

#include "server/answer.h"
#include "server/request_reader.h"
#include "server/server_state.h"

namespace qv::server {

struct Connection {
    int32_t slot;
    int channel;
};

constexpr uint32_t kRequestMessage = 1098;
constexpr uint64_t kOpenRetryWindowMs = 60000;
constexpr uint32_t kOpenRetryPauseMs = 1000;
// Exchange files that cannot be made are tried this many times, a pause apart.
constexpr int kExchangeAttempts = 5;
constexpr uint32_t kExchangeRetryPauseMs = 1000;
// A program's output file may grow to this; a program that writes more is ended.
constexpr int64_t kProgramOutputCap = int64_t{64} << 20;

// A program started for a connection and not yet finished.
struct ProgramRun {
    platform::Process process = 0;
    platform::File toProgram = 0, fromProgram = 0, errors = 0;
    std::string inName, outName, errName;
};

// The program route's first half: prepares the exchange files and starts the
// program (`run.process` set, the answer empty), or composes the answer at
// once when nothing runs. With `mayRetry`, an exchange file that cannot be
// made for now gives Answer::OpenLater() and nothing is left behind: the
// start is to be tried again later.
Answer StartProgramRoute(const Connection& connection, const Request& request, const Settings& settings,
                         bool mayRetry, ProgramRun& run);
// The second half, once the program has ended or its time is up: what it
// wrote as the answer, or with `timeUp` the 504 page (a program still
// running is ended first); the exchange files closed and removed.
Answer FinishProgramRoute(ProgramRun& run, const Request& request, bool timeUp);
// The exchange files closed and removed without an answer (the connection is
// gone or the server stops); a program still running is ended.
void DropProgramRoute(ProgramRun& run);

// True when the request goes to a program, which waits its turn: programs run one at a time.
bool WantsProgram(const Request& request);
Answer OfferToWindow(const Connection& connection, const Request& request, const Settings& settings);
Answer OfferToCallback(const Connection& connection, const Request& request, const Settings& settings);
Answer ServeFile(const Connection& connection, const Request& request, const Settings& settings);

// The answer for an open file of `size` bytes last written at `modified`
// (seconds since 1970, -1 unknown): whole (200), the one range asked (206),
// none (416), or nothing when the client's copy is current (304). The answer
// owns `file` from here on.
Answer FileAnswer(const Request& request, platform::File file, uint64_t size, int64_t modified,
                  const std::string& contentType);

// Chooses the route for a request that is not a program's: a refusal of the
// reader first, then, first match wins, live host window, callback, file. A
// HEAD request gets the same answer without its body.
Answer Dispatch(const Connection& connection, const Request& request, const Settings& settings);

}  // namespace qv::server
