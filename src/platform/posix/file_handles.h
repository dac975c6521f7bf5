// File handles are descriptors plus one, so that descriptor 0 is never
// mistaken for "no file".
#pragma once

#include <climits>
#include <string>

#include "platform/platform.h"

namespace qv::platform {

inline int DescriptorOf(File file) { return file == 0 || file - 1 > INT_MAX ? -1 : static_cast<int>(file - 1); }
inline File FileOf(int descriptor) { return descriptor < 0 ? 0 : static_cast<File>(descriptor) + 1; }

// The kernel's name for what the descriptor refers to (through /proc/self/fd);
// false when it cannot be had.
bool NameOfDescriptor(int descriptor, std::string& name);

}  // namespace qv::platform
