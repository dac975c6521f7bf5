// The name the system gives an opened file: every link, junction, short
// alias and rewritten ending resolved, so it shows what was really opened.
#pragma once

#include <windows.h>

#include <string>

namespace qv::platform {

// `name` (a file or a directory) opened only to look at it: no access asked,
// every sharing allowed. `fullName`, when given, learns the absolute name.
HANDLE OpenToLookAt(const std::string& name, std::string* fullName = nullptr);
// The opened file's full name, without the "\\?\" prefix; false if it cannot be had.
bool FinalName(HANDLE handle, std::string& name);
// True when the opened file is the file of that name in the directory `name`
// names (letter case aside): its last component led nowhere else.
bool OpenedAsNamed(HANDLE handle, const std::string& name);

}  // namespace qv::platform
