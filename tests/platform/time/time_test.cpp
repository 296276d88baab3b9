// The machine's clock and the calendar conversions.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

#include "support/machine_test.h"

namespace hostlens::test {
namespace {

class TimeTest : public MachineTest {};

SYSTEMTIME Date(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0,
                WORD milliseconds = 0, WORD dayOfWeek = 0) {
    SYSTEMTIME t{};
    t.wYear = year;
    t.wMonth = month;
    t.wDayOfWeek = dayOfWeek;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    t.wMilliseconds = milliseconds;
    return t;
}

std::uint64_t Ticks(const FILETIME& t) {
    return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

FILETIME FileTime(std::uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void ExpectSame(const SYSTEMTIME& actual, const SYSTEMTIME& expected) {
    EXPECT_EQ(actual.wYear, expected.wYear);
    EXPECT_EQ(actual.wMonth, expected.wMonth);
    EXPECT_EQ(actual.wDayOfWeek, expected.wDayOfWeek);
    EXPECT_EQ(actual.wDay, expected.wDay);
    EXPECT_EQ(actual.wHour, expected.wHour);
    EXPECT_EQ(actual.wMinute, expected.wMinute);
    EXPECT_EQ(actual.wSecond, expected.wSecond);
    EXPECT_EQ(actual.wMilliseconds, expected.wMilliseconds);
}

TEST_F(TimeTest, CalendarTimesAndFileTimesConvertBothWays) {
    struct Case {
        SYSTEMTIME time;  // with the day of the week the conversion back fills in
        std::uint64_t ticks;
    } cases[] = {
        {Date(1601, 1, 1, 0, 0, 0, 0, 1), 0},
        {Date(1970, 1, 1, 0, 0, 0, 0, 4), 116444736000000000},
        {Date(2000, 2, 29, 12, 34, 56, 789, 2), 125963012967890000},
        {Date(2024, 1, 31, 22, 59, 59, 500, 3), 133512155995000000},
        {Date(30827, 12, 31, 23, 59, 59, 999, 5), 9223149887999990000ull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ticks);
        SYSTEMTIME withoutWeekday = c.time;
        withoutWeekday.wDayOfWeek = 6;  // ignored
        FILETIME fileTime{};
        ASSERT_TRUE(SystemTimeToFileTime(&withoutWeekday, &fileTime));
        EXPECT_EQ(Ticks(fileTime), c.ticks);
        SYSTEMTIME back{};
        ASSERT_TRUE(FileTimeToSystemTime(&fileTime, &back));
        ExpectSame(back, c.time);
    }

    // Sub-millisecond parts are dropped; the last representable time is accepted.
    FILETIME fine = FileTime(116444736000009999);
    SYSTEMTIME t{};
    ASSERT_TRUE(FileTimeToSystemTime(&fine, &t));
    ExpectSame(t, Date(1970, 1, 1, 0, 0, 0, 0, 4));
    FILETIME last = FileTime(0x7FFFFFFFFFFFFFFF);
    ASSERT_TRUE(FileTimeToSystemTime(&last, &t));
    EXPECT_EQ(t.wYear, 30828);
    EXPECT_EQ(t.wMonth, 9);
    EXPECT_EQ(t.wDay, 14);
    EXPECT_EQ(t.wHour, 2);
    EXPECT_EQ(t.wMinute, 48);
    EXPECT_EQ(t.wSecond, 5);
    EXPECT_EQ(t.wMilliseconds, 477);
}

TEST_F(TimeTest, ImpossibleTimesAreRejected) {
    struct Case {
        const char* what;
        SYSTEMTIME time;
    } cases[] = {
        {"month 0", Date(2024, 0, 1)},
        {"month 13", Date(2024, 13, 1)},
        {"day 0", Date(2024, 1, 0)},
        {"31 April", Date(2024, 4, 31)},
        {"30 February", Date(2024, 2, 30)},
        {"29 February of 2023", Date(2023, 2, 29)},
        {"29 February of 1900", Date(1900, 2, 29)},
        {"hour 24", Date(2024, 1, 1, 24)},
        {"minute 60", Date(2024, 1, 1, 0, 60)},
        {"second 60", Date(2024, 1, 1, 0, 0, 60)},
        {"millisecond 1000", Date(2024, 1, 1, 0, 0, 0, 1000)},
        {"year 1600", Date(1600, 12, 31)},
        {"year 30828", Date(30828, 1, 1)},
        {"all zero", Date(0, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FILETIME fileTime{123, 456};
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToFileTime(&c.time, &fileTime));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(fileTime.dwLowDateTime, 123u);
        EXPECT_EQ(fileTime.dwHighDateTime, 456u);
    }

    FILETIME negative = FileTime(0x8000000000000000ull);
    SYSTEMTIME t{};
    SetLastError(0);
    EXPECT_FALSE(FileTimeToSystemTime(&negative, &t));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(t.wYear, 0);
}

TEST_F(TimeTest, ConversionsFailOnDemand) {
    SYSTEMTIME time = Date(2024, 1, 1);
    FILETIME fileTime{};
    sim::FailCall("SystemTimeToFileTime", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(SystemTimeToFileTime(&time, &fileTime));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_TRUE(SystemTimeToFileTime(&time, &fileTime));
    sim::FailCall("FileTimeToSystemTime", 1, ERROR_INVALID_DATA);
    EXPECT_FALSE(FileTimeToSystemTime(&fileTime, &time));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    sim::FailCall("TzSpecificLocalTimeToSystemTime", 1, ERROR_INVALID_DATA);
    EXPECT_FALSE(TzSpecificLocalTimeToSystemTime(nullptr, &time, &time));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST_F(TimeTest, CompareFileTimeOrdersUnsigned64BitCounts) {
    struct Case {
        std::uint64_t first;
        std::uint64_t second;
        LONG expected;
    } cases[] = {
        {5, 5, 0},
        {4, 5, -1},
        {5, 4, 1},
        {0x100000000ull, 0xFFFFFFFFull, 1},  // the high half decides
        {0xFFFFFFFFull, 0x100000000ull, -1},
        {0x8000000000000000ull, 1, 1},
    };
    for (const Case& c : cases) {
        FILETIME a = FileTime(c.first);
        FILETIME b = FileTime(c.second);
        EXPECT_EQ(CompareFileTime(&a, &b), c.expected) << c.first << " vs " << c.second;
    }
}

TEST_F(TimeTest, TheClockAndTickCountAreMachineFacts) {
    FILETIME when{};
    SYSTEMTIME set = Date(2024, 5, 6, 7, 8, 9, 10);
    ASSERT_TRUE(SystemTimeToFileTime(&set, &when));
    sim::MachineFacts().clock = Ticks(when);
    sim::MachineFacts().tickCount = 5ull * 24 * 3600 * 1000 + 1;

    SYSTEMTIME now{};
    GetSystemTime(&now);
    ExpectSame(now, Date(2024, 5, 6, 7, 8, 9, 10, 1));
    FILETIME nowFileTime{};
    GetSystemTimeAsFileTime(&nowFileTime);
    EXPECT_EQ(Ticks(nowFileTime), Ticks(when));
    EXPECT_EQ(GetTickCount64(), 432000001u);
    EXPECT_EQ(GetTickCount(), 432000001u);

    // The 32-bit count wraps after 2^32 milliseconds.
    sim::MachineFacts().tickCount = (1ull << 32) + 5;
    EXPECT_EQ(GetTickCount64(), (1ull << 32) + 5);
    EXPECT_EQ(GetTickCount(), 5u);
}

TEST_F(TimeTest, WithoutFactsTheHostClockAndUptimeAreUsed) {
    FILETIME fileTime{};
    GetSystemTimeAsFileTime(&fileTime);
    auto host =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    auto machine = static_cast<std::int64_t>(Ticks(fileTime) / 10000000) - 11644473600;
    EXPECT_LT(std::abs(machine - host.count()), 86400);
    EXPECT_GT(GetTickCount64(), 0u);
}

TEST_F(TimeTest, LocalTimesOfAZoneConvertToUtc) {
    TIME_ZONE_INFORMATION eastern{};
    eastern.Bias = 300;
    eastern.StandardDate = Date(0, 11, 1, 2, 0, 0, 0, 0);  // first Sunday of November, 02:00
    eastern.DaylightDate = Date(0, 3, 2, 2, 0, 0, 0, 0);   // second Sunday of March, 02:00
    eastern.DaylightBias = -60;
    TIME_ZONE_INFORMATION sydney{};
    sydney.Bias = -600;
    sydney.StandardDate = Date(0, 4, 1, 3, 0, 0, 0, 0);   // first Sunday of April, 03:00
    sydney.DaylightDate = Date(0, 10, 1, 2, 0, 0, 0, 0);  // first Sunday of October, 02:00
    sydney.DaylightBias = -60;

    struct Case {
        const char* what;
        LONG bias;  // a zone without daylight saving, unless `zone` is set
        const TIME_ZONE_INFORMATION* zone;
        SYSTEMTIME local;
        SYSTEMTIME expected;
    } cases[] = {
        {"UTC+1", -60, nullptr, Date(2024, 1, 31, 23, 59, 59, 500), Date(2024, 1, 31, 22, 59, 59, 500, 3)},
        {"UTC-5 across midnight and a leap month end", 300, nullptr, Date(2024, 2, 29, 21, 0),
         Date(2024, 3, 1, 2, 0, 0, 0, 5)},
        {"UTC+10 back across a year end", -600, nullptr, Date(2024, 1, 1, 5, 0),
         Date(2023, 12, 31, 19, 0, 0, 0, 0)},
        {"UTC", 0, nullptr, Date(2024, 6, 15, 12, 0, 0, 123), Date(2024, 6, 15, 12, 0, 0, 123, 6)},
        {"eastern winter", 0, &eastern, Date(2024, 1, 15, 12, 0), Date(2024, 1, 15, 17, 0, 0, 0, 1)},
        {"eastern summer", 0, &eastern, Date(2024, 7, 1, 12, 0), Date(2024, 7, 1, 16, 0, 0, 0, 1)},
        {"eastern, day daylight saving starts", 0, &eastern, Date(2024, 3, 10, 3, 0),
         Date(2024, 3, 10, 7, 0, 0, 0, 0)},
        {"eastern, day before", 0, &eastern, Date(2024, 3, 9, 3, 0), Date(2024, 3, 9, 8, 0, 0, 0, 6)},
        {"sydney, January", 0, &sydney, Date(2024, 1, 15, 12, 0), Date(2024, 1, 15, 1, 0, 0, 0, 1)},
        {"sydney, July", 0, &sydney, Date(2024, 7, 15, 12, 0), Date(2024, 7, 15, 2, 0, 0, 0, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TIME_ZONE_INFORMATION zone{};
        zone.Bias = c.bias;
        SYSTEMTIME utc{};
        ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(c.zone ? c.zone : &zone, &c.local, &utc));
        ExpectSame(utc, c.expected);
    }
}

TEST_F(TimeTest, WithoutAZoneTheMachineZoneIsUsed) {
    sim::MachineFacts().timeZoneBias = -120;
    SYSTEMTIME local = Date(2024, 3, 1, 1, 30);
    SYSTEMTIME utc{};
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
    ExpectSame(utc, Date(2024, 2, 29, 23, 30, 0, 0, 4));
    TIME_ZONE_INFORMATION zone{};
    EXPECT_EQ(GetTimeZoneInformation(&zone), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
    EXPECT_EQ(zone.Bias, -120);
}

TEST_F(TimeTest, ZoneConversionRejectsWhatCannotBeConverted) {
    TIME_ZONE_INFORMATION ahead{};
    ahead.Bias = -60;
    TIME_ZONE_INFORMATION halfDefined{};
    halfDefined.DaylightDate = Date(0, 3, 2, 2);  // daylight saving without its end
    TIME_ZONE_INFORMATION farBehind{};
    farBehind.Bias = 400000000;  // some 760 years
    struct Case {
        const char* what;
        const TIME_ZONE_INFORMATION* zone;
        SYSTEMTIME local;
    } cases[] = {
        {"invalid local time", &ahead, Date(2024, 2, 30)},
        {"before 1601 in UTC", &ahead, Date(1601, 1, 1, 0, 30)},
        {"beyond the last file time", &farBehind, Date(30827, 12, 31, 23, 30)},
        {"daylight saving without a standard date", &halfDefined, Date(2024, 6, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SYSTEMTIME utc = Date(1999, 1, 1);
        SetLastError(0);
        EXPECT_FALSE(TzSpecificLocalTimeToSystemTime(c.zone, &c.local, &utc));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(utc.wYear, 1999);
    }
}

}  // namespace
}  // namespace hostlens::test
