#include "server/directory_guard.h"

#include <utility>
#include <vector>

#include "content/path_safety.h"

namespace qv::server {
namespace {

// The directories opened lately on this thread (the document and the program
// directory, mostly), held open: one is used again while its name still leads
// to it, so a moved link is seen at once and the name is not resolved anew
// for every request.
class DirectoryCache {
public:
    DirectoryCache() = default;
    DirectoryCache(const DirectoryCache&) = delete;
    DirectoryCache& operator=(const DirectoryCache&) = delete;
    ~DirectoryCache() {
        for (Entry& entry : entries_) platform::CloseDirectory(entry.opened.handle);
    }

    const platform::OpenedDirectory* Find(const std::string& name) {
        for (Entry& entry : entries_) {
            platform::FileIdentity now;
            if (entry.name == name && platform::IdentifyFile(name, now) && now == entry.opened.identity) {
                return &entry.opened;
            }
        }
        return nullptr;
    }

    const platform::OpenedDirectory* Open(const std::string& name) {
        Forget(name);
        Entry fresh{name, {}};
        if (!platform::OpenDirectory(name, fresh.opened)) return nullptr;
        if (entries_.size() == kEntries) {
            platform::CloseDirectory(entries_.front().opened.handle);
            entries_.erase(entries_.begin());
        }
        entries_.push_back(std::move(fresh));
        return &entries_.back().opened;
    }

private:
    struct Entry {
        std::string name;
        platform::OpenedDirectory opened;
    };
    static constexpr size_t kEntries = 4;

    void Forget(const std::string& name) {
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->name == name) {
                platform::CloseDirectory(it->opened.handle);
                entries_.erase(it);
                return;
            }
        }
    }
    std::vector<Entry> entries_;
};

platform::OpenedFile Refused() {
    platform::OpenedFile refused;
    refused.outside = true;
    return refused;
}

}  // namespace

platform::OpenedFile OpenContained(const std::string& directory, const std::string& relative,
                                   platform::OpenPurpose purpose) {
    if (!content::IsContainedRelativeName(relative)) return Refused();
    // The text after the directory's last separator, if any, is a prefix of
    // names in that directory: it may not reach into another one.
    const size_t last = directory.find_last_of("/\\");
    const std::string baseName = platform::NativeFileName(last == std::string::npos ? "." : directory.substr(0, last + 1));
    const std::string prefix = last == std::string::npos ? directory : directory.substr(last + 1);
    if (!prefix.empty() && relative.find_first_of("/\\") != std::string::npos) return Refused();
    const std::string below = prefix + relative;

    thread_local DirectoryCache cache;
    const platform::OpenedDirectory* base = cache.Find(baseName);
    const bool remembered = base != nullptr;
    if (!remembered) base = cache.Open(baseName);
    if (base == nullptr) return Refused();
    platform::OpenedFile opened = platform::OpenBelow(*base, below, purpose);
    if (!opened.outside || !remembered) return opened;
    // Not inside by the remembered name: open the directory afresh before
    // saying no (it, or a directory above it, may have been moved since).
    base = cache.Open(baseName);
    return base != nullptr ? platform::OpenBelow(*base, below, purpose) : Refused();
}

}  // namespace qv::server
