// Keeping every file the server serves or runs inside its configured directory.
#pragma once

#include <string>

#include "platform/platform.h"

namespace qv::server {

// One attempt at opening `relative` (a mapped name) inside `directory` (as the
// host set it): the name is looked up once, from the directory, and the
// opened file is checked against it (see platform::OpenBelow). `outside` is
// set, and nothing is opened, when `relative` could leave the directory by its
// text, when the directory cannot be opened, or when what the name led to
// lies outside. A directory text without its trailing separator is a prefix
// of file names in the directory that holds it, never of names in other
// directories.
platform::OpenedFile OpenContained(const std::string& directory, const std::string& relative,
                                   platform::OpenPurpose purpose);

}  // namespace qv::server
