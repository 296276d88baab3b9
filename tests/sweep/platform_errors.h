// The errors Windows really gives when a platform call fails, one table per family
// of functions. The fault sweep fails each recorded call once with each error of its
// family; a function without an entry stops the sweep, so that a call the library
// starts to make is never left out of it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace hostlens::sweep {

struct PlatformErrors {
    const char* family = "";
    // Empty: the call is recorded but not failed (releasing a valid handle, key or
    // module does not fail on Windows).
    std::vector<std::uint32_t> errors;
};

// Null when no family lists `function`.
const PlatformErrors* ErrorsFor(std::string_view function);

// "ERROR_ACCESS_DENIED", "WBEM_E_FAILED", ... or the number in hex.
std::string_view ErrorName(std::uint32_t error);

}  // namespace hostlens::sweep
