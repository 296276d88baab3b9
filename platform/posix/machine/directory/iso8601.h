// Timestamps of the machine directory (a machine's clock, a registry key's last-write
// time) are written in ISO 8601 and kept as FILETIME ticks, as Windows keeps them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace hostlens::sim::machinedir {

// 100-nanosecond intervals since 1601-01-01 00:00:00 UTC (the value of a FILETIME).
using FileTimeTicks = std::uint64_t;

// Reads "YYYY-MM-DDTHH:MM:SS[.fraction](Z|+HH:MM|-HH:MM|+HHMM|-HHMM)". A zone is
// required: a time without one would depend on the host. Fractions beyond 100 ns are
// cut off. Years 1601 to 30827 (the range of SYSTEMTIME). Empty when malformed.
std::optional<FileTimeTicks> ParseIso8601(std::string_view text);

}  // namespace hostlens::sim::machinedir
