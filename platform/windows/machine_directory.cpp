#include "platform/machine_directory.h"

#include <cstdio>
#include <cstdlib>

namespace hostlens {

// On Windows the library always inventories the real machine.
bool LoadMachineDirectory(const std::string& dir, std::string& error) {
    error = "machine directory " + dir + ": machine directories are simulated on Linux only";
    return false;
}

// Nothing reads HOSTLENS_MACHINE at start-up here: a directory it names is refused
// when the program asks.
bool MachineFromEnvironmentLoaded() {
    const char* dir = std::getenv("HOSTLENS_MACHINE");
    if (dir == nullptr || *dir == '\0') return true;
    std::fprintf(
        stderr,
        "hostlens: HOSTLENS_MACHINE=\"%s\" not loaded: machine directories are simulated on Linux only\n",
        dir);
    return false;
}

}  // namespace hostlens
