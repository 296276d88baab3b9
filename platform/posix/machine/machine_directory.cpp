#include "platform/machine_directory.h"

#include "platform/posix/machine/directory/load.h"
#include "platform/posix/machine/sim_machinedir.h"

namespace hostlens {

// The simulated machine becomes the one the directory describes; on failure it is left
// empty and the message names the directory, then the file and place in it.
bool LoadMachineDirectory(const std::string& dir, std::string& error) {
    std::optional<std::string> failure = sim::LoadMachineDirectory(dir);
    if (!failure) return true;
    // Problems with the folder itself already start with its name.
    error = "machine directory " + (failure->starts_with(dir + ": ") ? *failure : dir + ": " + *failure);
    return false;
}

bool MachineFromEnvironmentLoaded() {
    return !sim::machinedir::EnvironmentMachineFailed();
}

}  // namespace hostlens
