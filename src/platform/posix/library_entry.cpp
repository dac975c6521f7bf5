// The shared object's load and unload hooks: the native counterpart of a DLL's entry point.
#include "quorvex.h"

namespace {

__attribute__((constructor)) void LibraryLoaded() { LIBMAIN(nullptr, 1, nullptr); }

__attribute__((destructor)) void LibraryUnloaded() { LIBMAIN(nullptr, 0, nullptr); }

}  // namespace
