#include "hardware/adapters_without_wmi.h"

namespace hostlens::hardware {

// Not available yet: the record keeps only what WMI gave.
bool CollectAdaptersWithoutWmi(std::vector<NetworkAdapter>& /*list*/) {
    return false;
}

}  // namespace hostlens::hardware
