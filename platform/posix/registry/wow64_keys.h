// The keys below HKEY_LOCAL_MACHINE\SOFTWARE that 64-bit Windows shares between its
// 64-bit and 32-bit registry views instead of redirecting them into WOW6432Node.
#pragma once

#include <span>
#include <string_view>

namespace hostlens::sim::registry::wow64 {

// Whether the key at `below`, its path below HKLM\SOFTWARE as the 32-bit view names
// it, is one physical key in both views. A key inherits the behaviour of the deepest
// key of the table above it; SOFTWARE itself is redirected.
bool IsShared(std::span<const std::u16string_view> below);

}  // namespace hostlens::sim::registry::wow64
