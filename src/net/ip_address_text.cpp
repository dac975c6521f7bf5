#include "net/ip_address_text.h"

#include <cstring>

namespace qv::net {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Four decimal parts into `out`.
bool ParseDottedQuad(const std::string& text, uint8_t* out) {
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
        const size_t start = at;
        int value = 0;
        while (at < text.size() && IsDigit(text[at]) && at - start < 3) value = value * 10 + (text[at++] - '0');
        const size_t digits = at - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return false;
        out[part] = static_cast<uint8_t>(value);
    }
    return at == text.size();
}

// The groups of one side of "::" (or the whole address): hex groups of 1..4
// digits between single colons, the last possibly a dotted quad (two groups)
// when `tailAllowed`. Appends to `bytes` from `count`.
bool ParseGroups(const std::string& text, bool tailAllowed, uint8_t* bytes, int& count) {
    if (text.empty()) return true;
    size_t at = 0;
    while (true) {
        const size_t end = text.find(':', at);
        const std::string group = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (end == std::string::npos && tailAllowed && group.find('.') != std::string::npos) {
            if (count > 12 || !ParseDottedQuad(group, bytes + count)) return false;
            count += 4;
            return true;
        }
        if (group.empty() || group.size() > 4 || count > 14) return false;
        int value = 0;
        for (char c : group) {
            const int digit = HexValue(c);
            if (digit < 0) return false;
            value = value * 16 + digit;
        }
        bytes[count++] = static_cast<uint8_t>(value >> 8);
        bytes[count++] = static_cast<uint8_t>(value & 0xff);
        if (end == std::string::npos) return true;
        at = end + 1;
    }
}

bool ParseIpv6(const std::string& text, uint8_t* out) {
    uint8_t head[16] = {};
    uint8_t tail[16] = {};
    int headCount = 0;
    int tailCount = 0;
    const size_t gap = text.find("::");
    if (gap == std::string::npos) {
        if (!ParseGroups(text, true, head, headCount) || headCount != 16) return false;
        std::memcpy(out, head, 16);
        return true;
    }
    if (text.find("::", gap + 1) != std::string::npos) return false;
    const std::string before = text.substr(0, gap);
    const std::string after = text.substr(gap + 2);
    // A lone colon at either end ("1::2:" or ":1::2") is no group.
    if ((!before.empty() && before.back() == ':') || (!after.empty() && after.front() == ':')) return false;
    if (!ParseGroups(before, false, head, headCount) || !ParseGroups(after, true, tail, tailCount)) return false;
    // "::" stands for at least one group of zeros.
    if (headCount + tailCount > 14) return false;
    std::memset(out, 0, 16);
    std::memcpy(out, head, static_cast<size_t>(headCount));
    std::memcpy(out + 16 - tailCount, tail, static_cast<size_t>(tailCount));
    return true;
}

const char kHex[] = "0123456789abcdef";

std::string GroupText(int value) {
    std::string text;
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const int digit = (value >> shift) & 0xf;
        if (digit != 0 || started || shift == 0) {
            text += kHex[digit];
            started = true;
        }
    }
    return text;
}

std::string DottedQuad(const uint8_t* bytes) {
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "." +
           std::to_string(bytes[3]);
}

}  // namespace

bool ParseIpAddress(const std::string& text, platform::IpAddress& address) {
    platform::IpAddress parsed;
    if (text.find(':') != std::string::npos) {
        parsed.v6 = true;
        if (!ParseIpv6(text, parsed.bytes)) return false;
    } else if (!ParseDottedQuad(text, parsed.bytes)) {
        return false;
    }
    address = parsed;
    return true;
}

std::string IpAddressText(const platform::IpAddress& address) {
    if (!address.v6) return DottedQuad(address.bytes);
    int groups[8];
    for (int i = 0; i < 8; ++i) groups[i] = (address.bytes[2 * i] << 8) | address.bytes[2 * i + 1];
    const bool mapped = groups[0] == 0 && groups[1] == 0 && groups[2] == 0 && groups[3] == 0 && groups[4] == 0 &&
                        groups[5] == 0xffff;
    if (mapped) return "::ffff:" + DottedQuad(address.bytes + 12);
    // The longest run of two or more zero groups, the first of equal runs.
    int bestStart = -1, bestLength = 0;
    for (int i = 0; i < 8;) {
        if (groups[i] != 0) {
            ++i;
            continue;
        }
        int j = i;
        while (j < 8 && groups[j] == 0) ++j;
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j;
    }
    if (bestLength < 2) bestStart = -1;
    std::string text;
    for (int i = 0; i < 8; ++i) {
        if (i == bestStart) {
            text += "::";
            i += bestLength - 1;
            continue;
        }
        if (!text.empty() && text.back() != ':') text += ':';
        text += GroupText(groups[i]);
    }
    return text;
}

platform::IpAddress Ipv4Loopback() {
    platform::IpAddress address;
    address.bytes[0] = 127;
    address.bytes[3] = 1;
    return address;
}

platform::IpAddress Ipv6Loopback() {
    platform::IpAddress address;
    address.v6 = true;
    address.bytes[15] = 1;
    return address;
}

platform::IpAddress Ipv4FromNetOrder(uint32_t addressNetOrder) {
    platform::IpAddress address;
    std::memcpy(address.bytes, &addressNetOrder, 4);
    return address;
}

bool IsEveryAddress(const platform::IpAddress& address) {
    platform::IpAddress every;
    every.v6 = address.v6;
    return address == every;
}

}  // namespace qv::net
