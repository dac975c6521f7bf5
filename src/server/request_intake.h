// Reading one request from its channel: as soon as the request is decided,
// and at the latest at the 100-ms mark, taking then what has arrived; the body
// of a POST to a program is waited for while it keeps coming within the
// channel's time-out.
#pragma once

#include "server/request_reader.h"

namespace qv::server {

constexpr uint64_t kReadMarkMs = 100;

RequestReader::Status ReadRequest(int channel, RequestReader& reader);

}  // namespace qv::server
