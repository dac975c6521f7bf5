#include "process_probe.h"

#include <signal.h>
#include <sys/types.h>

#include <fstream>
#include <iterator>
#include <string>

namespace qvtest {

bool ProcessRunning(unsigned long id) {
    // The state letter after the name (which is in parentheses and may hold anything).
    std::ifstream stat("/proc/" + std::to_string(id) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t end = text.rfind(')');
    if (end == std::string::npos || end + 2 >= text.size()) return false;
    const char state = text[end + 2];
    return state != 'Z' && state != 'X' && state != 'x';
}

void EndProcess(unsigned long id) {
    if (id != 0 && ProcessRunning(id)) kill(static_cast<pid_t>(id), SIGKILL);
}

}  // namespace qvtest
