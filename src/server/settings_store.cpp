#include "server/settings_store.h"

#include "server/listen_setting.h"

namespace qv::server {
namespace {

template <typename Change>
void WithSettings(Change change) {
    ServerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    change(s.settings);
}

// An existing directory named without its separator gets one, so that names
// are joined inside it and never beside it ("/srv/docs" must not reach
// "/srv/docs-private"). A drive-relative "C:" is left as it is.
std::string AsDirectory(const std::string& directory) {
    if (directory.empty()) return directory;
    const char last = directory.back();
    if (last == '/' || last == '\\' || last == ':') return directory;
    if (platform::ProbePath(directory) != platform::PathKind::Directory) return directory;
    return directory + platform::DirectorySeparator();
}

// A whole number written in decimal digits alone, from `least` to `most`.
bool NumberIn(const std::string& text, int64_t least, int64_t most, int64_t& number) {
    if (text.empty() || text.size() > 18) return false;
    number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    return number >= least && number <= most;
}

}  // namespace

OptionResult SetServerOption(const std::string& name, const std::string& value) {
    int64_t number = 0;
    if (name == "programs") {
        if (!NumberIn(value, 1, kMostProgramsAtOnce, number)) return OptionResult::Refused;
        WithSettings([&](Settings& settings) { settings.programsAtOnce = static_cast<int>(number); });
    } else if (name == "upload-limit") {
        if (!NumberIn(value, 0, kLargestUploadLimit, number)) return OptionResult::Refused;
        WithSettings([&](Settings& settings) { settings.uploadLimit = number; });
    } else if (name == "listen") {
        std::vector<platform::IpAddress> addresses;
        if (!ParseListenSetting(value, addresses)) return OptionResult::Refused;
        WithSettings([&](Settings& settings) { settings.listenAddresses = addresses; });
    } else if (name == "program-seconds") {
        if (!NumberIn(value, 1, kMostProgramSeconds, number)) return OptionResult::Refused;
        WithSettings([&](Settings& settings) { settings.programSeconds = static_cast<uint32_t>(number); });
    } else {
        return OptionResult::UnknownName;
    }
    return OptionResult::Set;
}

bool IsServerOption(const std::string& name) {
    return name == "programs" || name == "upload-limit" || name == "program-seconds" || name == "listen";
}

void SetDocumentDirectory(const std::string& directory) {
    const std::string named = AsDirectory(directory);
    WithSettings([&](Settings& settings) { settings.documentDirectory = named; });
}

void SetCgiDirectory(const std::string& directory) {
    const std::string named = AsDirectory(directory);
    WithSettings([&](Settings& settings) { settings.cgiDirectory = named; });
}

bool SetHostWindow(platform::Window window) {
    if (window == 0 || !platform::WindowExists(window)) return false;
    WithSettings([&](Settings& settings) { settings.hostWindow = window; });
    return true;
}

void ClearHostWindow() {
    WithSettings([](Settings& settings) { settings.hostWindow = 0; });
}

void SetHostMutex(platform::Mutex mutex) {
    if (mutex == 0) return;
    WithSettings([&](Settings& settings) { settings.hostMutex = mutex; });
}

bool SetRequestCallback(RequestCallback callback) {
    if (!platform::IsExecutableAddress(reinterpret_cast<const void*>(callback))) return false;
    WithSettings([&](Settings& settings) { settings.callback = callback; });
    return true;
}

void ClearRequestCallback() {
    WithSettings([](Settings& settings) { settings.callback = nullptr; });
}

}  // namespace qv::server
