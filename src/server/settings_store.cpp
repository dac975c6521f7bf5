#include "server/settings_store.h"

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

}  // namespace

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
