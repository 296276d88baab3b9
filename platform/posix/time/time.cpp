// The machine's clock and tick count, and the calendar conversions of kernel32.
//
// A file time counts 100-nanosecond intervals since 1601-01-01 00:00 UTC in the
// proleptic Gregorian calendar; only values below 2^63 are times. The machine's
// clock and tick count are facts: fixed values a test chooses, or the host's own
// clock and uptime when left at 0.
#include <time.h>

#include <cstdint>

#include "platform/posix/machine/machine.h"
#include "platform/posix/win32_base.h"
#include "platform/posix/time/win32_time.h"

namespace {

using hostlens::sim::MachineFacts;
using hostlens::sim::detail::Fault;

constexpr std::int64_t kTicksPerMillisecond = 10000;
constexpr std::int64_t kTicksPerSecond = 1000 * kTicksPerMillisecond;
constexpr std::int64_t kTicksPerMinute = 60 * kTicksPerSecond;
constexpr std::int64_t kTicksPerDay = 86400 * kTicksPerSecond;
constexpr std::int64_t kDays1601To1970 = 134774;
constexpr std::uint64_t kLargestTime = 0x7FFFFFFFFFFFFFFFull;

bool IsLeapYear(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a Gregorian date, and back (H. Hinnant's algorithms).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

// What SystemTimeToFileTime accepts; the day of the week is not looked at.
bool IsValid(const SYSTEMTIME& t) {
    if (t.wYear < 1601 || t.wYear > 30827) return false;
    if (t.wMonth < 1 || t.wMonth > 12) return false;
    if (t.wDay < 1 || t.wDay > DaysInMonth(t.wYear, t.wMonth)) return false;
    return t.wHour <= 23 && t.wMinute <= 59 && t.wSecond <= 59 && t.wMilliseconds <= 999;
}

std::int64_t ToTicks(const SYSTEMTIME& t) {
    std::int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) + kDays1601To1970;
    std::int64_t ms = ((t.wHour * 60 + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
    return days * kTicksPerDay + ms * kTicksPerMillisecond;
}

// `ticks` must be a time (below 2^63).
SYSTEMTIME FromTicks(std::uint64_t ticks) {
    auto days = static_cast<std::int64_t>(ticks / kTicksPerDay);
    auto ms = static_cast<std::int64_t>(ticks % kTicksPerDay) / kTicksPerMillisecond;
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days - kDays1601To1970, year, month, day);
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(ms / 3600000);
    t.wMinute = static_cast<WORD>(ms / 60000 % 60);
    t.wSecond = static_cast<WORD>(ms / 1000 % 60);
    t.wMilliseconds = static_cast<WORD>(ms % 1000);
    return t;
}

std::uint64_t Ticks(const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

FILETIME ToFileTime(std::uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::uint64_t Now() {
    std::uint64_t clock = MachineFacts().clock;
    if (clock != 0) return clock > kLargestTime ? kLargestTime : clock;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::uint64_t>(now.tv_sec + kDays1601To1970 * 86400) * kTicksPerSecond +
           static_cast<std::uint64_t>(now.tv_nsec) / 100;
}

// Where a local time lies against one of the zone's yearly transitions: a month,
// the week of that month (5: the last) and a weekday, or with a year a fixed date.
int CompareWithTransition(const SYSTEMTIME& local, const SYSTEMTIME& transition) {
    if (local.wMonth != transition.wMonth) return local.wMonth < transition.wMonth ? -1 : 1;
    int limitDay = transition.wDay;
    if (transition.wYear == 0) {
        int first = (6 + transition.wDayOfWeek - local.wDayOfWeek + local.wDay) % 7 + 1;
        limitDay = first + 7 * (transition.wDay - 1);
        if (limitDay > static_cast<int>(DaysInMonth(local.wYear, local.wMonth))) limitDay -= 7;
    }
    std::int64_t limit = ((limitDay * 24LL + transition.wHour) * 60 + transition.wMinute) * 60;
    std::int64_t now = ((local.wDay * 24LL + local.wHour) * 60 + local.wMinute) * 60 + local.wSecond;
    return now < limit ? -1 : now > limit ? 1 : 0;
}

DWORD ZoneIdAt(const TIME_ZONE_INFORMATION& zone, const SYSTEMTIME& local) {
    if (zone.DaylightDate.wMonth == 0) return TIME_ZONE_ID_UNKNOWN;
    const SYSTEMTIME& standard = zone.StandardDate;
    const SYSTEMTIME& daylight = zone.DaylightDate;
    if (standard.wMonth == 0 || (standard.wYear == 0 && (standard.wDay < 1 || standard.wDay > 5 ||
                                                         daylight.wDay < 1 || daylight.wDay > 5)))
        return TIME_ZONE_ID_INVALID;
    bool beforeStandard = CompareWithTransition(local, standard) < 0;
    bool afterDaylight = CompareWithTransition(local, daylight) >= 0;
    bool inDaylight = daylight.wMonth < standard.wMonth ? (beforeStandard && afterDaylight)   // northern
                                                        : (beforeStandard || afterDaylight);  // southern
    return inDaylight ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

TIME_ZONE_INFORMATION MachineZone() {
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = MachineFacts().timeZoneBias;
    return zone;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

HOSTLENS_WIN32_API void WINAPI GetSystemTime(LPSYSTEMTIME time) {
    if (time) *time = FromTicks(Now());
}

HOSTLENS_WIN32_API void WINAPI GetSystemTimeAsFileTime(LPFILETIME time) {
    if (time) *time = ToFileTime(Now());
}

HOSTLENS_WIN32_API ULONGLONG WINAPI GetTickCount64(void) {
    std::uint64_t ticks = MachineFacts().tickCount;
    if (ticks != 0) return ticks;
    timespec uptime{};
    clock_gettime(CLOCK_BOOTTIME, &uptime);
    return static_cast<ULONGLONG>(uptime.tv_sec) * 1000 + static_cast<ULONGLONG>(uptime.tv_nsec) / 1000000;
}

HOSTLENS_WIN32_API DWORD WINAPI GetTickCount(void) {
    return static_cast<DWORD>(GetTickCount64());  // wraps after 49.7 days, as on Windows
}

HOSTLENS_WIN32_API BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime) {
    if (auto error = Fault("SystemTimeToFileTime")) return Fail(*error);
    if (!systemTime || !fileTime || !IsValid(*systemTime)) return Fail(ERROR_INVALID_PARAMETER);
    *fileTime = ToFileTime(static_cast<std::uint64_t>(ToTicks(*systemTime)));
    return TRUE;
}

HOSTLENS_WIN32_API BOOL WINAPI FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    if (auto error = Fault("FileTimeToSystemTime")) return Fail(*error);
    if (!fileTime || !systemTime || Ticks(*fileTime) > kLargestTime) return Fail(ERROR_INVALID_PARAMETER);
    *systemTime = FromTicks(Ticks(*fileTime));
    return TRUE;
}

HOSTLENS_WIN32_API LONG WINAPI CompareFileTime(const FILETIME* first, const FILETIME* second) {
    if (!first || !second) return -1;
    std::uint64_t a = Ticks(*first);
    std::uint64_t b = Ticks(*second);
    return a < b ? -1 : a > b ? 1 : 0;
}

HOSTLENS_WIN32_API DWORD WINAPI GetTimeZoneInformation(LPTIME_ZONE_INFORMATION zone) {
    if (!zone) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return TIME_ZONE_ID_INVALID;
    }
    *zone = MachineZone();
    return TIME_ZONE_ID_UNKNOWN;
}

HOSTLENS_WIN32_API BOOL WINAPI TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* zone,
                                                               const SYSTEMTIME* localTime,
                                                               LPSYSTEMTIME universalTime) {
    if (auto error = Fault("TzSpecificLocalTimeToSystemTime")) return Fail(*error);
    if (!localTime || !universalTime || !IsValid(*localTime)) return Fail(ERROR_INVALID_PARAMETER);
    const TIME_ZONE_INFORMATION info = zone ? *zone : MachineZone();
    std::int64_t local = ToTicks(*localTime);
    // The transitions are compared with the normalised local time, weekday included.
    DWORD id = ZoneIdAt(info, FromTicks(static_cast<std::uint64_t>(local)));
    if (id == TIME_ZONE_ID_INVALID) return Fail(ERROR_INVALID_PARAMETER);
    std::int64_t bias = info.Bias;
    if (id == TIME_ZONE_ID_STANDARD) bias += info.StandardBias;
    if (id == TIME_ZONE_ID_DAYLIGHT) bias += info.DaylightBias;
    std::int64_t universal = 0;
    if (__builtin_add_overflow(local, bias * kTicksPerMinute, &universal) || universal < 0)
        return Fail(ERROR_INVALID_PARAMETER);  // before 1601 or beyond the last file time
    *universalTime = FromTicks(static_cast<std::uint64_t>(universal));
    return TRUE;
}
