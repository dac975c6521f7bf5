// Symbolic links for tests that plant them; where the file system (or the
// runtime, as on Windows) offers none, a test skips what needs them.
#pragma once

#include <filesystem>

namespace qvtest {

// Makes `link` lead to `target` (a directory link when `target` is a
// directory); false where no link could be made.
inline bool MakeLink(const std::filesystem::path& target, const std::filesystem::path& link) {
    std::error_code failed;
    if (std::filesystem::is_directory(target)) {
        std::filesystem::create_directory_symlink(target, link, failed);
    } else {
        std::filesystem::create_symlink(target, link, failed);
    }
    return !failed;
}

}  // namespace qvtest
