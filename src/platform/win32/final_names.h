// The name the system gives an opened file: every link, junction, short
// alias and rewritten ending resolved, so it shows what was really opened.
#pragma once

#include <windows.h>

#include <string>

namespace qv::platform {

// The opened file's full name, without the "\\?\" prefix; false if it cannot be had.
bool FinalName(HANDLE handle, std::string& name);
// True when the opened file's final name is `name` made absolute (letter
// case aside): nothing on the way led elsewhere.
bool OpenedAsNamed(HANDLE handle, const std::string& name);

}  // namespace qv::platform
