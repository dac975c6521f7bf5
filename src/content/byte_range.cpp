#include "content/byte_range.h"

namespace qv::content {
namespace {

constexpr uint64_t kTooLarge = UINT64_MAX;

// Decimal digits only; kTooLarge for a number past what any file holds.
bool ParseNumber(const std::string& text, uint64_t& value) {
    if (text.empty()) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        value = value > (kTooLarge - digit) / 10 ? kTooLarge : value * 10 + digit;
    }
    return true;
}

std::string TrimBlanks(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool StartsWithBytesUnit(const std::string& text) {
    static const char kUnit[] = "bytes=";
    if (text.size() < sizeof kUnit - 1) return false;
    for (size_t i = 0; i + 1 < sizeof kUnit; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kUnit[i]) return false;
    }
    return true;
}

}  // namespace

ByteRange ChooseRange(const std::string& range, uint64_t size) {
    ByteRange whole;
    if (!StartsWithBytesUnit(range)) return whole;
    const std::string asked = TrimBlanks(range.substr(6));
    if (asked.find(',') != std::string::npos) return whole;
    const size_t dash = asked.find('-');
    if (dash == std::string::npos) return whole;
    const std::string from = TrimBlanks(asked.substr(0, dash));
    const std::string to = TrimBlanks(asked.substr(dash + 1));

    ByteRange part;
    part.kind = ByteRange::Kind::Part;
    uint64_t first = 0;
    uint64_t last = 0;
    if (from.empty()) {
        // The last n bytes.
        uint64_t count = 0;
        if (!ParseNumber(to, count)) return whole;
        if (count == 0 || size == 0) return ByteRange{ByteRange::Kind::Unsatisfiable, 0, 0};
        if (count > size) count = size;
        part.first = size - count;
        part.length = count;
        return part;
    }
    if (!ParseNumber(from, first)) return whole;
    if (to.empty()) {
        last = kTooLarge;
    } else if (!ParseNumber(to, last) || last < first) {
        return whole;
    }
    if (first >= size) return ByteRange{ByteRange::Kind::Unsatisfiable, 0, 0};
    if (last >= size) last = size - 1;
    part.first = first;
    part.length = last - first + 1;
    return part;
}

std::string ContentRangeOf(const ByteRange& part, uint64_t size) {
    return "bytes " + std::to_string(part.first) + "-" + std::to_string(part.first + part.length - 1) + "/" +
           std::to_string(size);
}

}  // namespace qv::content
