// Text rules a mapped name must pass before the server touches the file
// system with it. They hold on every platform, so a name refused on one is
// refused on all.
#pragma once

#include <string>

namespace qv::content {

// True when `name` (separators '\' or '/') stays inside the directory it is
// joined to: not empty, not absolute, no ':' (drive letters, alternate data
// streams), no "." or ".." component, no component ending in '.' or ' ',
// no device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9, LPT1-9,
// with or without an extension, any letter case), no component shaped like a
// short-name alias (up to 6 characters, '~', digits, an extension of up to 3
// characters: "PROGRA~1", "REPORT~2.HTM"), and no byte below 32.
bool IsContainedRelativeName(const std::string& name);

// True for "bat" and "cmd", any letter case: programs the command
// interpreter runs, which read their command line by their own rules.
bool IsBatchExtension(const std::string& extension);

// True when `program` is a contained name that the command interpreter can
// only read as the program's name: none of & | < > ^ % ! " ( ) , ; = space tab.
bool IsSafeBatchProgramName(const std::string& program);

}  // namespace qv::content
