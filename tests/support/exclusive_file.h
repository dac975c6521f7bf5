// A file held open so that no one else can open it meanwhile, as Windows
// allows (a share mode of none). tests/support/posix/ and tests/support/win32/
// implement it; Linux has no such lock.
#pragma once

#include <cstdint>
#include <string>

namespace qvtest {

class ExclusiveFile {
public:
    ExclusiveFile() = default;
    ~ExclusiveFile() { Release(); }
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;

    // False where the system cannot keep others out, or the file cannot be opened.
    bool Hold(const std::string& path);
    void Release();

private:
    intptr_t handle_ = -1;
};

}  // namespace qvtest
