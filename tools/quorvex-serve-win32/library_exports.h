// The exports of quorvex.dll that the demo host uses, found by name.
#pragma once

#include <string>

#include "quorvex.h"

namespace qv::serve {

struct LibraryExports {
    decltype(&::ServerStart) ServerStart = nullptr;
    decltype(&::ServerStop) ServerStop = nullptr;
    decltype(&::ServerRunning) ServerRunning = nullptr;
    decltype(&::SetServerDir) SetServerDir = nullptr;
    decltype(&::WEBSRVSETCGI) WEBSRVSETCGI = nullptr;
    decltype(&::WEBSRVSETOPTION) WEBSRVSETOPTION = nullptr;
    decltype(&::SetServerCallback) SetServerCallback = nullptr;
    decltype(&::WEBSRVGETREQUEST) WEBSRVGETREQUEST = nullptr;
};

// Loads the library (beside the program, as Windows searches) and finds each
// export; on failure returns false and sets `error` to a one-line reason.
bool LoadLibraryExports(const char* file, LibraryExports& exports, std::string& error);
void UnloadLibrary();

}  // namespace qv::serve
