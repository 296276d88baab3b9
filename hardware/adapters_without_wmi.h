// Network adapters when WMI lists none: from IP Helper, the registry and the drivers'
// INF files.
#pragma once

#include <vector>

#include "hostlens/Hardware.h"

namespace hostlens::hardware {

// True when it found adapters; the list is left alone otherwise.
bool CollectAdaptersWithoutWmi(std::vector<NetworkAdapter>& list);

}  // namespace hostlens::hardware
