#include "served_addresses.h"

#include <algorithm>

namespace qv::serve {

namespace {

std::string WithoutBrackets(const std::string& address) {
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
        return address.substr(1, address.size() - 2);
    return address;
}

}  // namespace

std::vector<std::string> WantedAddresses(const std::vector<std::string>& binds, const std::string& hostAddress) {
    std::vector<std::string> wanted;
    if (binds.empty()) {
        wanted = {hostAddress, "127.0.0.1", "::1"};
    } else {
        for (const std::string& bind : binds) wanted.push_back(WithoutBrackets(bind));
    }
    std::vector<std::string> once;
    for (const std::string& address : wanted) {
        if (!address.empty() && std::find(once.begin(), once.end(), address) == once.end()) once.push_back(address);
    }
    return once;
}

std::string ListenSetting(const std::vector<std::string>& binds) {
    std::string setting;
    for (const std::string& bind : binds) setting += (setting.empty() ? "" : ",") + bind;
    return setting;
}

std::string ReachableAddress(const std::string& address) {
    if (address == "0.0.0.0") return "127.0.0.1";
    if (address == "::") return "::1";
    return address;
}

std::string ServedUrls(const std::vector<std::string>& addresses, int port,
                       const std::function<bool(const std::string&, int)>& answers) {
    const std::string portText = std::to_string(port);
    std::string urls;
    bool loopback = false;
    for (const std::string& address : addresses) {
        if (!answers(ReachableAddress(address), port)) continue;
        const std::string reachable = ReachableAddress(address);
        loopback = loopback || reachable == "127.0.0.1" || reachable == "::1";
        const bool six = address.find(':') != std::string::npos;
        urls += " http://" + (six ? "[" + address + "]" : address) + ":" + portText + "/";
    }
    if (loopback) urls = " http://localhost:" + portText + "/" + urls;
    return urls.empty() ? urls : urls.substr(1);
}

}  // namespace qv::serve
