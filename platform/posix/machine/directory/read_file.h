// Reading one file of a machine directory. Only regular files are read (after
// following symbolic links), and only up to a size limit: a FIFO would block the
// loader forever, and a link to a device such as /dev/zero would feed it until
// memory runs out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace hostlens::sim::machinedir {

// The largest file a machine directory may hold: far above any real registry export
// or WMI capture, low enough that loading one stays within a test machine's memory.
inline constexpr std::uint64_t kMaxMachineFileSize = std::uint64_t{256} << 20;

// The whole file into `content`; otherwise why it cannot be read ("it is a FIFO, not
// a regular file", "larger than 256 MiB", or the system's reason).
std::optional<std::string> ReadMachineFile(const std::filesystem::path& path, std::string& content);

}  // namespace hostlens::sim::machinedir
