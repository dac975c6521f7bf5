#include "content/trim.h"

namespace qv::content {
namespace {

bool InRequestTrimSet(char c) { return c == ' ' || c == '\r' || c == '\n' || c == 26; }

template <typename Trimmed>
std::string TrimBoth(const std::string& text, Trimmed trimmed) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && trimmed(text[first])) ++first;
    while (last > first && trimmed(text[last - 1])) --last;
    return text.substr(first, last - first);
}

}  // namespace

std::string TrimSpaces(const std::string& text) {
    return TrimBoth(text, [](char c) { return c == ' '; });
}

std::string TrimRequestText(const std::string& text) { return TrimBoth(text, InRequestTrimSet); }

}  // namespace qv::content
