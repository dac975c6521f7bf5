// The built-in page sent when every connection slot is taken.
#pragma once

#include <string>

namespace qv::content {

// A short page in the look of the not-found page, each line ended by CR LF.
std::string BuildBusyPage();

}  // namespace qv::content
