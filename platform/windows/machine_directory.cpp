#include "platform/machine_directory.h"

namespace hostlens {

// On Windows the library always inventories the real machine.
bool LoadMachineDirectory(const std::string& dir, std::string& error) {
    error = "machine directory " + dir + ": machine directories are simulated on Linux only";
    return false;
}

}  // namespace hostlens
