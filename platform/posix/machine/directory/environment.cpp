// The machine of a process that names one in its environment: HOSTLENS_MACHINE=DIR is
// loaded when the layer is loaded, before the program's own code runs.
#include <cstdio>
#include <cstdlib>

#include "platform/posix/machine/directory/load.h"

namespace hostlens::sim::machinedir {

namespace {
// Constant-initialised, so it holds before the start-up load below runs.
bool g_environmentMachineFailed = false;
}  // namespace

void LoadMachineFromEnvironment() {
    g_environmentMachineFailed = false;
    const char* dir = std::getenv(kMachineVariable);
    if (dir == nullptr || *dir == '\0') return;
    if (auto error = LoadMachineDirectory(dir)) {
        g_environmentMachineFailed = true;
        std::fprintf(stderr, "hostlens: %s=\"%s\" not loaded, the machine is empty: %s\n", kMachineVariable,
                     dir, error->c_str());
    }
}

bool EnvironmentMachineFailed() {
    return g_environmentMachineFailed;
}

namespace {

// The layer's parts make their state on first use, so this may run before their
// other initialisers.
__attribute__((constructor)) void LoadAtStart() {
    LoadMachineFromEnvironment();
}

}  // namespace
}  // namespace hostlens::sim::machinedir
