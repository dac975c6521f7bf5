#include "server/settings_store.h"

namespace qv::server {
namespace {

template <typename Change>
void WithSettings(Change change) {
    ServerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    change(s.settings);
}

}  // namespace

void SetDocumentDirectory(const std::string& directory) {
    WithSettings([&](Settings& settings) { settings.documentDirectory = directory; });
}

void SetCgiDirectory(const std::string& directory) {
    WithSettings([&](Settings& settings) { settings.cgiDirectory = directory; });
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
