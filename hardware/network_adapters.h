// Network adapters from WMI: the connected adapters of Win32_NetworkAdapter that are
// physical (or do not say), each with the IP configuration of its
// Win32_NetworkAdapterConfiguration row.
#pragma once

#include <vector>

#include "hostlens/Hardware.h"
#include "hostlens/WmiMng.h"

namespace hostlens::hardware {

// In WMI's order. A null manager or a failing adapter query is traced at error level
// and leaves the list as it was. True when the list is non-empty.
bool CollectNetworkAdapters(IWmiMng* wmi, std::vector<NetworkAdapter>& list);

}  // namespace hostlens::hardware
