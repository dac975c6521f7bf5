#include "server/directory_guard.h"

#include "content/path_safety.h"
#include "platform/platform.h"

namespace qv::server {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The directory the joined name lands in: the text up to its last separator
// (a directory given without a trailing separator is a name prefix).
std::string ContainingDirectory(const std::string& directory) {
    size_t last = directory.find_last_of("/\\");
    if (last == std::string::npos) return ".";
    return directory.substr(0, last + 1);
}

bool IsWithin(const std::string& base, const std::string& name) {
    if (name.size() <= base.size() || name.compare(0, base.size(), base) != 0) return false;
    return IsSeparator(base.back()) || IsSeparator(name[base.size()]);
}

}  // namespace

Containment CheckContained(const std::string& directory, const std::string& relative, std::string& nativeName) {
    nativeName = platform::NativeFileName(directory + relative);
    if (!content::IsContainedRelativeName(relative)) return Containment::Outside;
    std::string base;
    if (!platform::CanonicalName(platform::NativeFileName(ContainingDirectory(directory)), base) || base.empty()) {
        return Containment::Outside;
    }
    std::string canonical;
    if (!platform::CanonicalName(nativeName, canonical)) return Containment::Unresolved;
    return IsWithin(base, canonical) ? Containment::Inside : Containment::Outside;
}

}  // namespace qv::server
