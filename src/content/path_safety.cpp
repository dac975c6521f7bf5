#include "content/path_safety.h"

namespace qv::content {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string AsciiUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool IsDeviceName(const std::string& component) {
    // Windows opens the device for "con", "con.txt", "con .txt" alike.
    std::string base = AsciiUpper(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    if (base == "CONIN$" || base == "CONOUT$") return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0)) {
        const unsigned char digit = static_cast<unsigned char>(base[3]);
        // Newer Windows also takes the superscripts 1, 2 and 3 of the ANSI code page.
        return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The shape of a generated 8.3 alias such as "PROGRA~1" or "REPORT~1.HTM": at
// most 6 characters, '~', digits, the three together at most 8, then an
// optional extension of at most 3 characters. Windows opens the long-named
// file (or folder) for it, so a rule that refuses one name could be bypassed.
bool IsShortAlias(const std::string& component) {
    const size_t dot = component.find('.');
    const std::string base = component.substr(0, dot);
    if (dot != std::string::npos) {
        const std::string extension = component.substr(dot + 1);
        if (extension.size() > 3 || extension.find('.') != std::string::npos) return false;
    }
    const size_t tilde = base.rfind('~');
    if (tilde == std::string::npos || tilde > 6 || base.size() > 8 || tilde + 1 == base.size()) return false;
    for (size_t i = tilde + 1; i < base.size(); ++i) {
        if (!IsDigit(base[i])) return false;
    }
    return true;
}

bool IsSafeComponent(const std::string& component) {
    if (component.empty()) return false;  // doubled separators
    if (component.back() == '.' || component.back() == ' ') return false;  // "." and ".." too
    if (IsDeviceName(component)) return false;
    return !IsShortAlias(component);
}

}  // namespace

bool IsContainedRelativeName(const std::string& name) {
    if (name.empty() || IsSeparator(name.front())) return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 32 || c == ':') return false;
    }
    size_t begin = 0;
    while (true) {
        size_t end = begin;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        if (!IsSafeComponent(name.substr(begin, end - begin))) return false;
        if (end == name.size()) return true;
        begin = end + 1;
    }
}

bool IsBatchExtension(const std::string& extension) {
    const std::string upper = AsciiUpper(extension);
    return upper == "BAT" || upper == "CMD";
}

bool IsSafeBatchProgramName(const std::string& program) {
    if (!IsContainedRelativeName(program)) return false;
    static const std::string kSpecial = "&|<>^%!\"(),;= \t";
    for (char c : program) {
        if (kSpecial.find(c) != std::string::npos) return false;
    }
    return true;
}

}  // namespace qv::content
