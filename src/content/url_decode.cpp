#include "content/url_decode.h"

namespace qv::content {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsControl(unsigned char byte) { return byte < 32 || byte == 127; }

}  // namespace

bool DecodeName(const std::string& name, std::string& decoded) {
    decoded.clear();
    decoded.reserve(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const int high = c == '%' && i + 2 < name.size() ? HexValue(name[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(name[i + 2]) : -1;
        if (low < 0) {
            if (IsControl(static_cast<unsigned char>(c))) return false;
            decoded.push_back(c);
            continue;
        }
        const unsigned char byte = static_cast<unsigned char>(high * 16 + low);
        // An escaped separator would cut the name where its text shows none.
        if (IsControl(byte) || byte == '/' || byte == '\\') return false;
        decoded.push_back(static_cast<char>(byte));
        i += 2;
    }
    return IsValidUtf8(decoded);
}

std::string UnescapeQuery(const std::string& query) {
    std::string text;
    text.reserve(query.size());
    for (size_t i = 0; i < query.size(); ++i) {
        const int high = query[i] == '%' && i + 2 < query.size() ? HexValue(query[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(query[i + 2]) : -1;
        if (low < 0) {
            text += query[i];
            continue;
        }
        text += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return text;
}

bool IsValidUtf8(const std::string& text) {
    const size_t size = text.size();
    for (size_t i = 0; i < size;) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t extra;
        uint32_t point;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            point = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            point = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            point = lead & 0x07;
        } else {
            return false;  // a continuation byte first, C0/C1 (always overlong) or F5 and up
        }
        if (size - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            point = (point << 6) | (next & 0x3F);
        }
        const uint32_t smallest = extra == 2 ? 0x800 : extra == 3 ? 0x10000 : 0x80;
        if (point < smallest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace qv::content
