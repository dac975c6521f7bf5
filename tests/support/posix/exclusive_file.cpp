#include "exclusive_file.h"

namespace qvtest {

// Opening is never refused for another's open file on Linux.
bool ExclusiveFile::Hold(const std::string& /*path*/) { return false; }

void ExclusiveFile::Release() {}

}  // namespace qvtest
