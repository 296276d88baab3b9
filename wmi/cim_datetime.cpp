// CIM DATETIME values, "yyyymmddHHMMSS.mmmmmmsUUU": a local time with microseconds
// and the offset of that local time from UTC in minutes.
//
// The text is read field by field as the C library's scanf reads the pattern
// "%4hu%2hu%2hu%2hu%2hu%2hu.%3hu%3hu%4ld", so that values WMI or a provider
// formats loosely are accepted exactly as before: each number skips leading white
// space, may carry a sign, and takes at most its width in characters (sign
// included); the full stop must follow the seconds directly; a "%hu" value that is
// negative wraps as an unsigned short does.
#include <cstdint>

#include "wmi/variant_convert.h"

namespace {

class FieldReader {
public:
    // Reading stops at the first NUL, as it does for the C library.
    explicit FieldReader(const WString& text) : next_(text.c_str()) {}

    bool UnsignedShort(int width, WORD& value) {
        bool negative = false;
        std::uint64_t magnitude = 0;
        if (!Number(width, negative, magnitude)) return false;
        value = static_cast<WORD>(negative ? 0 - magnitude : magnitude);
        return true;
    }

    bool Long(int width, LONG& value) {
        bool negative = false;
        std::uint64_t magnitude = 0;
        if (!Number(width, negative, magnitude)) return false;
        auto number = static_cast<std::int64_t>(magnitude);
        value = static_cast<LONG>(negative ? -number : number);
        return true;
    }

    bool Literal(WCHAR expected) {
        if (*next_ != expected) return false;
        ++next_;
        return true;
    }

private:
    static bool IsSpace(WCHAR c) {
        return c == W(' ') || c == W('\t') || c == W('\n') || c == W('\v') || c == W('\f') || c == W('\r');
    }

    // Widths here are at most 4, so the magnitude cannot overflow.
    bool Number(int width, bool& negative, std::uint64_t& magnitude) {
        while (IsSpace(*next_)) ++next_;
        int used = 0;
        if (*next_ == W('+') || *next_ == W('-')) {
            negative = *next_ == W('-');
            ++next_;
            ++used;
        }
        int digits = 0;
        for (; used < width && *next_ >= W('0') && *next_ <= W('9'); ++used, ++digits, ++next_)
            magnitude = magnitude * 10 + static_cast<unsigned>(*next_ - W('0'));
        return digits > 0;
    }

    const WCHAR* next_;
};

}  // namespace

bool CimDateTimeToSystemTime(const WString& text, SYSTEMTIME& out) {
    FieldReader reader(text);
    SYSTEMTIME local{};  // the day of the week stays 0: the conversion does not read it
    WORD microseconds = 0;
    LONG offset = 0;
    if (!reader.UnsignedShort(4, local.wYear) || !reader.UnsignedShort(2, local.wMonth) ||
        !reader.UnsignedShort(2, local.wDay) || !reader.UnsignedShort(2, local.wHour) ||
        !reader.UnsignedShort(2, local.wMinute) || !reader.UnsignedShort(2, local.wSecond) ||
        !reader.Literal(W('.')) || !reader.UnsignedShort(3, local.wMilliseconds) ||
        !reader.UnsignedShort(3, microseconds) || !reader.Long(4, offset))
        return false;

    // The platform's bias is UTC minus local time; the CIM offset is the reverse.
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = -offset;
    SYSTEMTIME universal{};
    if (!TzSpecificLocalTimeToSystemTime(&zone, &local, &universal)) return false;
    out = universal;
    return true;
}
