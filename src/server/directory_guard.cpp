#include "server/directory_guard.h"

#include <vector>

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

// A directory's canonical name, remembered with the identity of what the
// directory's own name led to at the time.
struct ResolvedBase {
    std::string directory;
    platform::FileIdentity identity;
    std::string canonical;
};

bool ResolveBase(const std::string& directory, ResolvedBase& resolved) {
    resolved.directory = directory;
    return platform::IdentifyFile(directory, resolved.identity) &&
           platform::CanonicalName(directory, resolved.canonical) && !resolved.canonical.empty();
}

// The directories resolved lately on this thread (the document and the program
// directory, mostly): a remembered name is used while the directory's name
// still leads to the same directory, so a moved link is seen at once.
class BaseCache {
public:
    const ResolvedBase* Find(const std::string& directory) {
        for (ResolvedBase& entry : entries_) {
            platform::FileIdentity now;
            if (entry.directory == directory && platform::IdentifyFile(directory, now) && now == entry.identity) {
                return &entry;
            }
        }
        return nullptr;
    }
    const ResolvedBase* Resolve(const std::string& directory) {
        Forget(directory);
        ResolvedBase fresh;
        if (!ResolveBase(directory, fresh)) return nullptr;
        if (entries_.size() == kEntries) entries_.erase(entries_.begin());
        entries_.push_back(std::move(fresh));
        return &entries_.back();
    }

private:
    static constexpr size_t kEntries = 4;
    void Forget(const std::string& directory) {
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->directory == directory) {
                entries_.erase(it);
                return;
            }
        }
    }
    std::vector<ResolvedBase> entries_;
};

}  // namespace

Containment CheckContained(const std::string& directory, const std::string& relative, std::string& nativeName) {
    nativeName = platform::NativeFileName(directory + relative);
    if (!content::IsContainedRelativeName(relative)) return Containment::Outside;
    const std::string baseName = platform::NativeFileName(ContainingDirectory(directory));
    thread_local BaseCache cache;
    const ResolvedBase* base = cache.Find(baseName);
    const bool remembered = base != nullptr;
    if (!remembered) base = cache.Resolve(baseName);
    if (base == nullptr) return Containment::Outside;
    std::string canonical;
    const bool below = nativeName.compare(0, baseName.size(), baseName) == 0 &&
                       platform::CanonicalNameBelow(base->canonical, nativeName.substr(baseName.size()), canonical);
    if (!below && !platform::CanonicalName(nativeName, canonical)) return Containment::Unresolved;
    if (IsWithin(base->canonical, canonical)) return Containment::Inside;
    if (!remembered) return Containment::Outside;
    // Not inside by the remembered name: resolve the directory afresh before
    // saying no (it, or a directory above it, may have been moved since).
    base = cache.Resolve(baseName);
    return base != nullptr && IsWithin(base->canonical, canonical) ? Containment::Inside : Containment::Outside;
}

}  // namespace qv::server
