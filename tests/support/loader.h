// Loading the built library by file name, one implementation per platform.
#pragma once

namespace qvtest {

// The export `name` of the library (loading it on first use), or null.
// System exports the library relies on (the byte-string functions on
// Windows) are looked up in the system library that provides them.
void* LoadedExport(const char* name);

}  // namespace qvtest
