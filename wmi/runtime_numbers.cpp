#include "wmi/runtime_numbers.h"

#include <cstdlib>
#include <limits>
#include <string>

namespace hostlens::runtime {
namespace {

bool IsSpace(WCHAR c) {
    return c == W(' ') || (c >= W('\t') && c <= W('\r'));
}

// Parses an optionally signed run of decimal digits, saturating at [minimum, maximum].
std::int64_t ParseSaturating(const WCHAR* text, std::int64_t minimum, std::int64_t maximum) {
    if (text == nullptr) return 0;
    while (IsSpace(*text)) ++text;
    bool negative = false;
    if (*text == W('+') || *text == W('-')) negative = *text++ == W('-');
    // Accumulate as a negative number so that the minimum itself is reachable.
    std::int64_t value = 0;
    bool saturated = false;
    for (; *text >= W('0') && *text <= W('9'); ++text) {
        int digit = *text - W('0');
        if (saturated) continue;
        if (value < (std::numeric_limits<std::int64_t>::min() + digit) / 10) {
            saturated = true;
            continue;
        }
        value = value * 10 - digit;
    }
    if (saturated) return negative ? minimum : maximum;
    if (negative) return value < minimum ? minimum : value;
    if (value == std::numeric_limits<std::int64_t>::min() || -value > maximum) return maximum;
    return -value;
}

}  // namespace

std::int32_t WideToInt(const WCHAR* text) {
    return static_cast<std::int32_t>(ParseSaturating(text, std::numeric_limits<std::int32_t>::min(),
                                                     std::numeric_limits<std::int32_t>::max()));
}

std::int64_t WideToInt64(const WCHAR* text) {
    return ParseSaturating(text, std::numeric_limits<std::int64_t>::min(),
                           std::numeric_limits<std::int64_t>::max());
}

double WideToDouble(const WCHAR* text) {
    if (text == nullptr) return 0;
    // Numbers are ASCII: copy the longest run of characters a number can hold and let
    // the C parser (which stops at the first character that does not belong) read it.
    std::string ascii;
    for (const WCHAR* p = text; *p != 0 && *p < 0x80; ++p) ascii += static_cast<char>(*p);
    return std::strtod(ascii.c_str(), nullptr);
}

}  // namespace hostlens::runtime
