// The --trace option: "LEVEL[,FLAGS]" as the trace controller reads it from
// HOSTLENS_TRACE, "level=L,flags=F".
#pragma once

#include <optional>
#include <string>

namespace hostlens::cli {

// LEVEL is 0 to 255 (1 critical ... 5 verbose); FLAGS a 32-bit number, decimal or
// 0x-hexadecimal, all flags when left out. Nothing when the text is malformed.
std::optional<std::string> TraceSetting(const std::string& text);

}  // namespace hostlens::cli
