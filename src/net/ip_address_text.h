// IP addresses as text: read strictly, written in their shortest usual form.
#pragma once

#include <string>

#include "platform/platform.h"

namespace qv::net {

// A dotted quad (four decimal parts 0..255, no sign and no leading zero) or
// an IPv6 address in its textual form (hex groups, one "::", an IPv4 tail);
// nothing else: no brackets, no port, no zone, no surrounding blanks.
bool ParseIpAddress(const std::string& text, platform::IpAddress& address);
// The dotted quad, or the IPv6 form with the longest run of zero groups
// shortened to "::" and lower-case hex (an IPv4-mapped address ends in its dotted quad).
std::string IpAddressText(const platform::IpAddress& address);

platform::IpAddress Ipv4Loopback();  // 127.0.0.1
platform::IpAddress Ipv6Loopback();  // ::1
platform::IpAddress Ipv4FromNetOrder(uint32_t addressNetOrder);
// 0.0.0.0 or ::, every address of its family.
bool IsEveryAddress(const platform::IpAddress& address);

}  // namespace qv::net
