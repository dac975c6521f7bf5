// The four ways of answering a request. Each composes the answer for the
// connection; the caller sends it and then closes the connection.
#pragma once

#include <cstdint>

#include "server/answer.h"
#include "server/request_reader.h"
#include "server/server_state.h"

namespace qv::server {

struct Connection {
    int32_t slot;
    int channel;
};

constexpr uint32_t kRequestMessage = 1098;
constexpr uint32_t kProgramWaitMs = 10000;
constexpr uint64_t kOpenRetryWindowMs = 60000;
constexpr uint32_t kOpenRetryPauseMs = 1000;

Answer ServeProgram(const Connection& connection, const Request& request, const Settings& settings);
Answer OfferToWindow(const Connection& connection, const Request& request, const Settings& settings);
Answer OfferToCallback(const Connection& connection, const Request& request, const Settings& settings);
Answer ServeFile(const Connection& connection, const Request& request, const Settings& settings);

// The answer for an open file of `size` bytes last written at `modified`
// (seconds since 1970, -1 unknown): whole (200), the one range asked (206),
// none (416), or nothing when the client's copy is current (304). The answer
// owns `file` from here on.
Answer FileAnswer(const Request& request, platform::File file, uint64_t size, int64_t modified,
                  const std::string& contentType);

// Answers a refusal of the reader first; otherwise chooses the route, first
// match wins: program, live host window, callback, file. A HEAD request
// gets the same answer without its body.
Answer Dispatch(const Connection& connection, const Request& request, const Settings& settings);

}  // namespace qv::server
