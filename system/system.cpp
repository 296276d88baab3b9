#include "system/system.h"

#include <exception>

#include "frame/loader.h"
#include "frame/trace.h"
#include "wmi/variant_convert.h"
#include "wmi/wmi_mng_owner.h"

HL_TRACE_MODULE("system/system")

namespace {

using TickCount64Function = ULONGLONG(WINAPI*)();

constexpr ULONGLONG kUnitsPerMillisecond = 10000;  // of a file time, 100 ns each

// The start time from the clock and the time since start. GetTickCount64 is looked up
// at run time, since Windows XP and Server 2003 lack it; their 32-bit count wraps after
// 49.7 days, which moves the start time forward by as much. All unsigned: a count
// larger than the clock gives a file time beyond the last one, which the conversion
// refuses, and `bootTime` keeps what the caller put there.
void BootTimeFromTickCount(SYSTEMTIME& bootTime) {
    CLoader kernel32{WString()};
    TickCount64Function tickCount64 = nullptr;
    if (kernel32.Load(W("Kernel32.dll"), WString()))
        tickCount64 = kernel32.GetFunctionAs<TickCount64Function>("GetTickCount64");
    SYSTEMTIME now{};
    GetSystemTime(&now);
    const ULONGLONG elapsed =
        (tickCount64 != nullptr ? tickCount64() : static_cast<ULONGLONG>(GetTickCount())) *
        kUnitsPerMillisecond;
    FILETIME nowFileTime{};
    SystemTimeToFileTime(&now, &nowFileTime);
    const ULONGLONG start =
        ((static_cast<ULONGLONG>(nowFileTime.dwHighDateTime) << 32) | nowFileTime.dwLowDateTime) - elapsed;
    const FILETIME startFileTime{static_cast<DWORD>(start), static_cast<DWORD>(start >> 32)};
    FileTimeToSystemTime(&startFileTime, &bootTime);
}

// The start time WMI records. The value is read as WMI delivers it (a CIM date-time
// text); a missing, null or malformed value gives no time.
bool BootTimeFromWmi(IWmiMng* wmi, SYSTEMTIME& bootTime) {
    if (wmi == nullptr) {
        TRACE_ERROR();
        return false;
    }
    WmiQuery query;
    query.Query = W("SELECT * FROM Win32_OperatingSystem");
    query.Properties[0] = W("LastBootUpTime");
    std::vector<WmiRow> rows;
    DWORD result = wmi->QueryNamespace(W("ROOT\\CIMV2"), query, rows);
    if (result != 0) {
        TRACE_ERROR(result);
        return false;
    }
    if (rows.empty()) return false;
    auto value = rows.front().find(W("LastBootUpTime"));
    if (value == rows.front().end()) return false;
    WString text;
    return VariantToString(value->second.Get(), text, true) && CimDateTimeToSystemTime(text, bootTime);
}

}  // namespace

DWORD CSystem::GetLastBootUpTime(SYSTEMTIME* bootTime) {
    if (bootTime == nullptr) {
        TRACE_ERROR();
        return ERROR_INVALID_PARAMETER;
    }
    BootTimeFromTickCount(*bootTime);
    // The caller passes a zeroed structure: a year still 0 means no time was found.
    if (bootTime->wYear != 0) return ERROR_SUCCESS;

    hostlens::WmiMngOwner wmi = hostlens::MakeWmiMng(logger_);
    if (!wmi) {
        TRACE_ERROR();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    bool found = false;
    try {
        found = BootTimeFromWmi(wmi.get(), *bootTime);
    } catch (const std::exception&) {
        // Out of memory inside the manager: the agent's process must never see it.
        TRACE_CRITICAL();
    }
    if (found) return ERROR_SUCCESS;
    TRACE_ERROR();
    return ERROR_NOT_FOUND;
}
