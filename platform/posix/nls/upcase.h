// Case-insensitive comparison of names as Windows makes it for registry keys and
// values and for file names: each UTF-16 code unit is upper-cased on its own by a 1:1
// table (upcase_ranges.h), with no expansions and surrogates left alone.
#pragma once

#include <string_view>

namespace hostlens::sim::detail {

char16_t Upcase(char16_t c);

// Ordinal comparison of the upper-cased code units: <0, 0 or >0. Allocates nothing.
int CompareNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace hostlens::sim::detail
