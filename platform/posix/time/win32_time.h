// The clock, the tick count and conversions between calendar times, file times and
// time zones.
#pragma once

#include "platform/posix/win32_types.h"

struct TIME_ZONE_INFORMATION {
    LONG Bias;  // UTC minus local time, in minutes
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;  // wMonth 0: the zone has no daylight saving time
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;
    LONG DaylightBias;
};
using PTIME_ZONE_INFORMATION = TIME_ZONE_INFORMATION*;
using LPTIME_ZONE_INFORMATION = TIME_ZONE_INFORMATION*;

#define TIME_ZONE_ID_INVALID ((DWORD)0xFFFFFFFF)
#define TIME_ZONE_ID_UNKNOWN 0
#define TIME_ZONE_ID_STANDARD 1
#define TIME_ZONE_ID_DAYLIGHT 2

HOSTLENS_WIN32_API void WINAPI GetSystemTime(LPSYSTEMTIME time);
HOSTLENS_WIN32_API void WINAPI GetSystemTimeAsFileTime(LPFILETIME time);
HOSTLENS_WIN32_API DWORD WINAPI GetTickCount(void);
HOSTLENS_WIN32_API ULONGLONG WINAPI GetTickCount64(void);
HOSTLENS_WIN32_API BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime);
HOSTLENS_WIN32_API BOOL WINAPI FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);
HOSTLENS_WIN32_API LONG WINAPI CompareFileTime(const FILETIME* first, const FILETIME* second);
HOSTLENS_WIN32_API DWORD WINAPI GetTimeZoneInformation(LPTIME_ZONE_INFORMATION zone);
HOSTLENS_WIN32_API BOOL WINAPI TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* zone,
                                                               const SYSTEMTIME* localTime,
                                                               LPSYSTEMTIME universalTime);
