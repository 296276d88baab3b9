// The loader of machine directories: LoadMachineDirectory (sim_machinedir.h) and the
// layer's start-up hook that loads the machine HOSTLENS_MACHINE names.
#pragma once

#include "platform/posix/machine/sim_machinedir.h"

namespace hostlens::sim::machinedir {

// The variable that names the machine directory of a process.
inline constexpr const char* kMachineVariable = "HOSTLENS_MACHINE";

// Loads the machine directory the environment names, if it names one. A failure is
// reported on standard error and leaves the machine empty: a process without its
// machine still runs, the way a program runs on a bare Windows installation.
void LoadMachineFromEnvironment();

// Whether the environment named a machine directory that LoadMachineFromEnvironment
// could not load.
bool EnvironmentMachineFailed();

}  // namespace hostlens::sim::machinedir
