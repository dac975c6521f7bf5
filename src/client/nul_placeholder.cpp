#include "client/nul_placeholder.h"

#include <cstring>

namespace qv::client {

const char kNulPlaceholder[] = "REPLACING NULL WITH THIS STRING";

std::string RestoreNulBytes(const std::string& answer) {
    const std::size_t placeholderLength = std::strlen(kNulPlaceholder);
    std::string restored;
    restored.reserve(answer.size());
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = answer.find(kNulPlaceholder, from, placeholderLength);
        if (at == std::string::npos) break;
        restored.append(answer, from, at - from);
        restored.push_back('\0');
        from = at + placeholderLength;
    }
    restored.append(answer, from, std::string::npos);
    return restored;
}

}  // namespace qv::client
