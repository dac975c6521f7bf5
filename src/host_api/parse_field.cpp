#include "host_api/parse_field.h"

namespace qv::host_api {

std::string ParseField(const std::string& text, const std::string& delimiters, int32_t index) {
    if (delimiters.empty()) return text;
    bool isDelimiter[256] = {};
    for (char c : delimiters) isDelimiter[static_cast<unsigned char>(c)] = true;

    int64_t delimiterCount = 0;
    for (char c : text) {
        if (isDelimiter[static_cast<unsigned char>(c)]) ++delimiterCount;
    }
    const int64_t fieldCount = delimiterCount + 1;
    // 64-bit: a negative index near the lower limit must not wrap.
    int64_t wanted = index;
    if (wanted < 0) wanted += fieldCount + 1;
    if (wanted < 1 || wanted > fieldCount) return std::string();

    int64_t field = 1;
    size_t begin = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!isDelimiter[static_cast<unsigned char>(text[i])]) continue;
        if (field == wanted) return text.substr(begin, i - begin);
        ++field;
        begin = i + 1;
    }
    return text.substr(begin);
}

}  // namespace qv::host_api
