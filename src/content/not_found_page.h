// The built-in page sent when a requested file does not exist.
#pragma once

#include <string>

namespace qv::content {

// The fixed 25-line HTML page, each line ended by CR LF.
std::string BuildNotFoundPage();

}  // namespace qv::content
