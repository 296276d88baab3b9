// Choosing the machine that a process hosting the library runs against. On Linux the
// platform layer answers the Win32 API from a simulated machine, which a machine
// directory describes (registry exports, WMI instances, machine facts and a folder for
// drive C:); on Windows the process always runs against the real machine.
#pragma once

#include <string>

namespace hostlens {

// Replaces the simulated machine with the one described by the folder `dir`. On
// failure returns false and sets `error` to a message a person can act on: which file,
// which line and what is wrong with it. Call it before the library is loaded.
bool LoadMachineDirectory(const std::string& dir, std::string& error);

// Whether the machine directory that the environment names (HOSTLENS_MACHINE=DIR) is
// the machine of this process; true when it names none. The platform loads it as the
// process starts, before main, and reports a failure on standard error then: a program
// asks here rather than loading DIR again, so a failure is reported once.
bool MachineFromEnvironmentLoaded();

}  // namespace hostlens
