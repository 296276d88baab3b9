// Loading a machine directory (Linux only): the simulated machine described by a
// folder of registry exports, WMI class files, machine facts and a drive C: folder.
// docs/machine-directory.md describes the format.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace hostlens::sim {

// Replaces the machine with the one `dir` describes: drive C: is dir/drive_c (no drive
// C: when that folder is missing), machine.json sets the facts, registry/*.reg are
// applied in the byte order of their names, wmi/<namespace>/<Class>.json declare the
// WMI classes and instances. Every part is optional.
//
// Answers nothing on success, or one message that names the file, the place in it
// (a line, or a JSON pointer) and the reason: "registry/software.reg: line 12:
// unterminated string". Then the machine is left empty, as ResetMachine() makes it:
// a machine is never half loaded.
std::optional<std::string> LoadMachineDirectory(const std::filesystem::path& dir);

}  // namespace hostlens::sim
