#include "frame/runtime_numbers.h"

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

// A cursor over a NUL-terminated text, with scanf's conversions.
class Scanner {
public:
    explicit Scanner(const WCHAR* text) : at_(text) {}

    void SkipSpace() {
        while (IsSpace(*at_)) ++at_;
    }
    bool Literal(WCHAR c) {
        if (*at_ != c) return false;
        ++at_;
        return true;
    }
    // %*s: a run of characters other than white space, at least one.
    bool SkipWord() {
        SkipSpace();
        const WCHAR* start = at_;
        while (*at_ != 0 && !IsSpace(*at_)) ++at_;
        return at_ != start;
    }
    // %d: strtol's value, saturated at the 32-bit limits.
    bool Signed(std::int32_t& value) {
        bool negative = false;
        std::uint64_t magnitude = 0;
        if (!Digits(negative, magnitude)) return false;
        if (negative)
            value = magnitude > 0x80000000u ? std::numeric_limits<std::int32_t>::min()
                                            : static_cast<std::int32_t>(0 - magnitude);
        else
            value = magnitude > 0x7FFFFFFFu ? std::numeric_limits<std::int32_t>::max()
                                            : static_cast<std::int32_t>(magnitude);
        return true;
    }
    // %u: strtoul's value: the magnitude saturated at 2^32 - 1, negated after a minus.
    bool Unsigned(std::uint32_t& value) {
        bool negative = false;
        std::uint64_t magnitude = 0;
        if (!Digits(negative, magnitude)) return false;
        const auto bounded = static_cast<std::uint32_t>(magnitude > 0xFFFFFFFFu ? 0xFFFFFFFFu : magnitude);
        value = negative ? 0u - bounded : bounded;
        return true;
    }

private:
    // White space, a sign and at least one digit; the magnitude stops growing past 2^32.
    bool Digits(bool& negative, std::uint64_t& magnitude) {
        SkipSpace();
        if (*at_ == W('+') || *at_ == W('-')) negative = *at_++ == W('-');
        if (*at_ < W('0') || *at_ > W('9')) return false;
        for (; *at_ >= W('0') && *at_ <= W('9'); ++at_)
            if (magnitude <= 0xFFFFFFFFu)
                magnitude = magnitude * 10 + static_cast<std::uint64_t>(*at_ - W('0'));
        return true;
    }

    const WCHAR* at_;
};

}  // namespace

int ScanDottedPair(const WCHAR* text, int& first, int& second) {
    if (text == nullptr) return 0;
    Scanner scan(text);
    std::int32_t number = 0;
    if (!scan.Signed(number)) return 0;
    first = number;
    if (!scan.Literal(W('.')) || !scan.Signed(number)) return 1;
    second = number;
    return 2;
}

int ScanThirdWordNumber(const WCHAR* text, unsigned short& number) {
    if (text == nullptr) return 0;
    Scanner scan(text);
    std::uint32_t value = 0;
    if (!scan.SkipWord()) return 0;
    scan.SkipSpace();
    if (!scan.SkipWord()) return 0;
    scan.SkipSpace();
    if (!scan.Unsigned(value)) return 0;
    number = static_cast<unsigned short>(value);
    return 1;
}

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
