#include "server/listen_setting.h"

#include <algorithm>

#include "net/ip_address_text.h"

namespace qv::server {
namespace {

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool ParseItem(const std::string& item, platform::IpAddress& address) {
    if (!item.empty() && item.front() == '[') {
        // Brackets hold an IPv6 address and nothing after them: the port is the start's.
        if (item.size() < 2 || item.back() != ']') return false;
        return net::ParseIpAddress(item.substr(1, item.size() - 2), address) && address.v6;
    }
    return net::ParseIpAddress(item, address);
}

}  // namespace

bool ParseListenSetting(const std::string& value, std::vector<platform::IpAddress>& addresses) {
    std::vector<platform::IpAddress> parsed;
    if (!Trimmed(value).empty()) {
        size_t at = 0;
        size_t items = 0;
        while (true) {
            const size_t comma = value.find(',', at);
            const std::string item =
                Trimmed(value.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
            if (++items > kMostListenAddresses) return false;
            platform::IpAddress address;
            if (!ParseItem(item, address)) return false;
            if (std::find(parsed.begin(), parsed.end(), address) == parsed.end()) parsed.push_back(address);
            if (comma == std::string::npos) break;
            at = comma + 1;
        }
    }
    addresses = parsed;
    return true;
}

}  // namespace qv::server
