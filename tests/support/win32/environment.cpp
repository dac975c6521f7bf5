#include "environment.h"

#include <windows.h>

#include <cstdlib>

namespace qvtest {

// Both the C runtime's copy and the process's own block, whichever a library reads.
ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name, const std::string& value)
    : name_(std::move(name)) {
    _putenv_s(name_.c_str(), value.c_str());
    SetEnvironmentVariableA(name_.c_str(), value.c_str());
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
    _putenv_s(name_.c_str(), "");
    SetEnvironmentVariableA(name_.c_str(), nullptr);
}

}  // namespace qvtest
