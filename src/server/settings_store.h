// The host's settings, as the settings exports change them.
#pragma once

#include <cstdint>
#include <string>

#include "server/server_state.h"

namespace qv::server {

void SetDocumentDirectory(const std::string& directory);
void SetCgiDirectory(const std::string& directory);
// False (and nothing changed) when `window` is not a live window.
bool SetHostWindow(platform::Window window);
void ClearHostWindow();
// A zero handle changes nothing.
void SetHostMutex(platform::Mutex mutex);
// False (and nothing changed) when `callback` is not executable code.
bool SetRequestCallback(RequestCallback callback);
void ClearRequestCallback();

// A setting by name, its value as text: see the settings table in the host
// guide. Nothing changes when the name is unknown or the value is refused.
enum class OptionResult { Set, UnknownName, Refused };
OptionResult SetServerOption(const std::string& name, const std::string& value);
bool IsServerOption(const std::string& name);

}  // namespace qv::server
