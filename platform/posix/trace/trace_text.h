// The texts of the trace controller: the HOSTLENS_TRACE setting that enables the
// providers of a process, and the readable line written for each trace point.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/machine/sim.h"

namespace hostlens::sim::detail {

struct TraceSetting {
    std::uint8_t level = 0;
    std::uint32_t flags = 0;
    std::string file;  // host path, "-" for standard error; empty: no trace file
};

// Parses "level=N,flags=F[,file=PATH]": N decimal 0-255, F decimal or 0x-hex and
// 32 bits wide, the keys in any order but each once, PATH the rest of the text
// (it may hold commas). Anything else is refused and `why` says what is wrong.
std::optional<TraceSetting> ParseTraceSetting(std::string_view text, std::string& why);

// One line, without its newline: UTC time, message GUID, message number, the level
// and flag decoded from it, then each argument in hex and, when it reads as a
// NUL-terminated UTF-16 or narrow text of two characters or more, as that text.
std::string FormatTraceLine(const TracePoint& point, std::chrono::system_clock::time_point time);

std::string FormatGuid(const GUID& guid);

}  // namespace hostlens::sim::detail
