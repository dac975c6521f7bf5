// Setting a variable of the test program's own environment for a while.
#pragma once

#include <string>

namespace qvtest {

// Sets `name` to `value` in this process's environment until destroyed,
// then removes it again.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(std::string name, const std::string& value);
    ~ScopedEnvironmentVariable();
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    std::string name_;
};

}  // namespace qvtest
