#include "loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace qvtest {

namespace {

// The library sits beside the test program in the build tree.
std::string LibraryPath() {
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = length > 0 ? std::string(self, length) : std::string("./x");
    return dir.substr(0, dir.rfind('/') + 1) + QV_LIBRARY_FILE;
}

void* Library() {
    static void* handle = [] {
        void* h = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (h == nullptr) {
            std::fprintf(stderr, "cannot load the library: %s\n", dlerror());
            std::abort();
        }
        return h;
    }();
    return handle;
}

}  // namespace

void* LoadedExport(const char* name) { return dlsym(Library(), name); }

}  // namespace qvtest
