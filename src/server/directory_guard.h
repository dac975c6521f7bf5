// Keeping every file the server serves or runs inside its configured directory.
#pragma once

#include <string>

namespace qv::server {

enum class Containment { Inside, Outside, Unresolved };

// Joins `directory` and `relative` as plain text and gives the platform's name
// for the result in `nativeName`. Outside when `relative` could leave the
// directory by its text, or when the joined name, every link resolved, lies
// outside the directory; Unresolved when the joined name cannot be resolved
// (nothing exists there).
Containment CheckContained(const std::string& directory, const std::string& relative, std::string& nativeName);

}  // namespace qv::server
