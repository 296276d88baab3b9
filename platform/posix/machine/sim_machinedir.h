// Loading a machine directory (Linux only): the simulated machine described by a
// folder of registry exports, WMI class files, machine facts and a drive C: folder.
// docs/machine-directory.md describes the format.
#pragma once

#include <filesystem>
#include <memory>
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

// The same in two halves, for a test that puts one machine in place many times:
// every file read and checked once (null and `error` set when one is malformed), then
// put onto the machine, as LoadMachineDirectory does, as often as needed. The files
// are not read again: changes made to them afterwards are not seen.
struct MachineImage;
std::shared_ptr<const MachineImage> ReadMachineDirectory(const std::filesystem::path& dir,
                                                         std::string& error);
std::optional<std::string> ApplyMachineImage(const MachineImage& image);

}  // namespace hostlens::sim
