// Where the demo host is served: the addresses it asks the library for, and
// the URLs it prints for those that answer.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qv::serve {

// The addresses as --bind gave them (brackets taken off an IPv6 one), or
// without --bind the library's own choice: this computer's address, then
// 127.0.0.1 and ::1. Each once.
std::vector<std::string> WantedAddresses(const std::vector<std::string>& binds, const std::string& hostAddress);

// The --bind values as the library's `listen` setting: joined by commas.
std::string ListenSetting(const std::vector<std::string>& binds);

// The URLs of the addresses for which `answers` (address, port) is true,
// separated by spaces: http://localhost:PORT/ first where loopback is among
// them (127.0.0.1, ::1, or every address of a family), then each address.
std::string ServedUrls(const std::vector<std::string>& addresses, int port,
                       const std::function<bool(const std::string&, int)>& answers);

// The address to connect to to reach a listener on `address`: loopback in
// place of every address of a family (0.0.0.0, ::).
std::string ReachableAddress(const std::string& address);

}  // namespace qv::serve
