// Reading one request from its channel: as soon as the request is decided,
// and at the latest at the 100-ms mark, taking then what one receive of at
// most 1024 bytes would take.
#pragma once

#include "server/request_reader.h"

namespace qv::server {

constexpr uint64_t kReadMarkMs = 100;

RequestReader::Status ReadRequest(int channel, RequestReader& reader);

}  // namespace qv::server
