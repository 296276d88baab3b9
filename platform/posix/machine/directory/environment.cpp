// The machine of a process that names one in its environment: HOSTLENS_MACHINE=DIR is
// loaded when the layer is loaded, before the program's own code runs.
#include <cstdio>
#include <cstdlib>

#include "platform/posix/machine/directory/load.h"

namespace hostlens::sim::machinedir {

void LoadMachineFromEnvironment() {
    const char* dir = std::getenv(kMachineVariable);
    if (dir == nullptr || *dir == '\0') return;
    if (auto error = LoadMachineDirectory(dir))
        std::fprintf(stderr, "hostlens: %s=\"%s\" not loaded, the machine is empty: %s\n", kMachineVariable,
                     dir, error->c_str());
}

namespace {

// The layer's parts make their state on first use, so this may run before their
// other initialisers.
__attribute__((constructor)) void LoadAtStart() {
    LoadMachineFromEnvironment();
}

}  // namespace
}  // namespace hostlens::sim::machinedir
