// Exports of the built-in system modules that came with a later Windows: a machine
// of an earlier version does not have them, whatever its machine directory lists
// under missingExports (which hides more on top).
#pragma once

#include <string_view>

#include "platform/posix/machine/sim.h"

namespace hostlens::sim::detail {

bool IsExportOfLaterWindows(const OsFacts& os, std::string_view function);

}  // namespace hostlens::sim::detail
