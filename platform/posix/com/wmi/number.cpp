#include "platform/posix/com/wmi/number.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace hostlens::sim::wmi {
namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

std::optional<UnsignedNumber> ParseHex(std::u16string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char16_t c : digits) {
        int d = HexDigit(c);
        if (d < 0 || value > (std::numeric_limits<std::uint64_t>::max() >> 4)) return std::nullopt;
        value = (value << 4) | static_cast<std::uint64_t>(d);
    }
    return value;
}

std::optional<UnsignedNumber> ParseReal(std::u16string_view text) {
    // Checked here so that from_chars sees only the forms WQL writes (no "inf",
    // "nan", hexadecimal floats or signs).
    std::size_t i = 0;
    std::size_t intDigits = 0;
    std::size_t fracDigits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++intDigits;
    if (i < text.size() && text[i] == u'.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) ++i, ++fracDigits;
    }
    if (intDigits + fracDigits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
        std::size_t expDigits = 0;
        while (i < text.size() && IsDigit(text[i])) ++i, ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    std::string narrow(text.begin(), text.end());  // ASCII only after the check above
    double value = 0;
    auto [end, error] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
    if (error != std::errc{} || end != narrow.data() + narrow.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<UnsignedNumber> ParseUnsignedNumber(std::u16string_view text) {
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X'))
        return ParseHex(text.substr(2));
    bool integral = !text.empty();
    for (char16_t c : text) integral = integral && IsDigit(c);
    if (!integral) return ParseReal(text);
    std::uint64_t value = 0;
    for (char16_t c : text) {
        std::uint64_t d = static_cast<std::uint64_t>(c - u'0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - d) / 10) return std::nullopt;
        value = value * 10 + d;
    }
    return value;
}

std::optional<WmiValue> SignedNumber(const UnsignedNumber& magnitude, bool negative) {
    if (const double* real = std::get_if<double>(&magnitude)) return WmiValue(negative ? -*real : *real);
    std::uint64_t value = std::get<std::uint64_t>(magnitude);
    constexpr std::uint64_t kMaxSigned = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!negative) {
        if (value <= kMaxSigned) return WmiValue(static_cast<std::int64_t>(value));
        return WmiValue(value);
    }
    if (value <= kMaxSigned) return WmiValue(-static_cast<std::int64_t>(value));
    if (value == kMaxSigned + 1) return WmiValue(std::numeric_limits<std::int64_t>::min());
    return std::nullopt;
}

std::optional<WmiValue> ParseNumberText(std::u16string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text.remove_prefix(1);
    }
    auto magnitude = ParseUnsignedNumber(text);
    if (!magnitude) return std::nullopt;
    return SignedNumber(*magnitude, negative);
}

}  // namespace hostlens::sim::wmi
