#include "library_exports.h"

#include <windows.h>

namespace qv::serve {

namespace {

HMODULE g_library = nullptr;

template <typename F>
bool Find(F& slot, const char* name, std::string& error) {
    slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(g_library, name)));
    if (slot == nullptr && error.empty()) error = std::string("the library has no export named ") + name;
    return slot != nullptr;
}

}  // namespace

bool LoadLibraryExports(const char* file, LibraryExports& exports, std::string& error) {
    g_library = LoadLibraryA(file);
    if (g_library == nullptr) {
        error = std::string("cannot load ") + file + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    error.clear();
    bool found = true;
    found &= Find(exports.ServerStart, "ServerStart", error);
    found &= Find(exports.ServerStop, "ServerStop", error);
    found &= Find(exports.ServerRunning, "ServerRunning", error);
    found &= Find(exports.SetServerDir, "SetServerDir", error);
    found &= Find(exports.WEBSRVSETCGI, "WEBSRVSETCGI", error);
    found &= Find(exports.WEBSRVSETOPTION, "WEBSRVSETOPTION", error);
    found &= Find(exports.SetServerCallback, "SetServerCallback", error);
    found &= Find(exports.WEBSRVGETREQUEST, "WEBSRVGETREQUEST", error);
    return found;
}

void UnloadLibrary() {
    if (g_library != nullptr) FreeLibrary(g_library);
    g_library = nullptr;
}

}  // namespace qv::serve
