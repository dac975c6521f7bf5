#include "loader.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qvtest {

namespace {

HMODULE Library() {
    static HMODULE handle = [] {
        // Found beside the test program, as any host finds it.
        HMODULE h = LoadLibraryA(QV_LIBRARY_FILE);
        if (h == nullptr) {
            std::fprintf(stderr, "cannot load %s: error %lu\n", QV_LIBRARY_FILE, GetLastError());
            std::abort();
        }
        return h;
    }();
    return handle;
}

}  // namespace

void* LoadedExport(const char* name) {
    if (std::strncmp(name, "SysAllocString", 14) == 0 || std::strncmp(name, "SysStringByteLen", 16) == 0 ||
        std::strcmp(name, "SysFreeString") == 0) {
        return reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("oleaut32.dll"), name));
    }
    return reinterpret_cast<void*>(GetProcAddress(Library(), name));
}

}  // namespace qvtest
