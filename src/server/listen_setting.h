// The `listen` setting: the addresses the server listens on.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace qv::server {

constexpr size_t kMostListenAddresses = 16;

// Addresses separated by commas, blanks around each allowed, an IPv6
// address also in brackets ("[::1]"); the empty value (blanks alone) gives
// none, the default. False for anything else: a name, a port, an empty item,
// more than kMostListenAddresses. A repeated address counts once.
bool ParseListenSetting(const std::string& value, std::vector<platform::IpAddress>& addresses);

}  // namespace qv::server
