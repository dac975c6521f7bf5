#include "environment.h"

#include <cstdlib>

namespace qvtest {

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name, const std::string& value)
    : name_(std::move(name)) {
    setenv(name_.c_str(), value.c_str(), 1);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() { unsetenv(name_.c_str()); }

}  // namespace qvtest
