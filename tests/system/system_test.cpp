// The start time as the agent gets it through GetISystem: from the clock and the tick
// count, and from WMI when they give no time. The machine's clock stands at
// 2024-05-14 17:40:00 UTC; WMI says it started at 2024-03-12 14:14:42.750 UTC.
#include <gtest/gtest.h>

#include <cstdio>

#include "hostlens/Exports.h"
#include "platform/posix/com/sim_wmi.h"
#include "support/failing_new.h"
#include "support/machine_test.h"

namespace hostlens::test {
namespace {

std::string Iso(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return t.wYear == 0 ? "" : text;
}

std::uint64_t Clock() {
    SYSTEMTIME clock{2024, 5, 2, 14, 17, 40, 0, 0};
    FILETIME now{};
    SystemTimeToFileTime(&clock, &now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

class SystemTest : public MachineTest {};

TEST_F(SystemTest, StartTimeFromTheTickCountElseFromWmi) {
    constexpr std::uint64_t kUp = 5455517250;  // 63 days 3:25:17.250
    constexpr std::uint64_t kBeyond = 0;       // a second more than the clock's time since 1601
    const char16_t* const kBoot = u"20240312151442.750000+060";
    const std::string kWmiTime = "2024-03-12T14:14:42.750";
    struct Case {
        const char* what;
        std::uint64_t tickCount;
        const char* takenAway;  // an export hidden, a call failing once, or a class whose query fails
        const char16_t* boot;   // LastBootUpTime; null: a null value, "-": the class lacks it
        WORD callerYear;
        DWORD result;
        std::string time;
        bool asksWmi;
    } cases[] = {
        {"64-bit count", kUp, nullptr, kBoot, 0, 0, kWmiTime, false},
        {"32-bit count wrapped after 49.7 days", kUp, "GetTickCount64", kBoot, 0, 0,
         "2024-05-01T07:17:30.046", false},
        {"no Kernel32: 32-bit count", kUp, "LoadLibraryExW", kBoot, 0, 0, "2024-05-01T07:17:30.046", false},
        {"count times 10000 wraps to 0", 1ull << 62, nullptr, kBoot, 0, 0, "2024-05-14T17:40:00.000", false},
        {"count beyond the clock", kBeyond, nullptr, kBoot, 0, 0, kWmiTime, true},
        {"conversion failing", kUp, "FileTimeToSystemTime", kBoot, 0, 0, kWmiTime, true},
        {"the caller's year stands", kUp, "FileTimeToSystemTime", kBoot, 2000, 0, "2000-00-00T00:00:00.000",
         false},
        {"WMI value null", kBeyond, nullptr, nullptr, 0, ERROR_NOT_FOUND, "", true},
        {"WMI value missing", kBeyond, nullptr, u"-", 0, ERROR_NOT_FOUND, "", true},
        {"WMI value unspecified", kBeyond, nullptr, u"20240312******.******+000", 0, ERROR_NOT_FOUND, "",
         true},
        {"WMI query failing", kBeyond, "Win32_OperatingSystem", kBoot, 0, ERROR_NOT_FOUND, "", true},
    };
    for (const Case& c : cases) {
        sim::ResetMachine(DriveC());
        sim::MachineFacts().clock = Clock();
        sim::MachineFacts().tickCount = c.tickCount != kBeyond ? c.tickCount : Clock() / 10000 + 1000;
        const std::u16string property = c.boot != nullptr && c.boot[0] == u'-' ? u"Other" : u"LastBootUpTime";
        sim::DefineWmiClass(u"ROOT\\CIMV2", u"Win32_OperatingSystem", {{property, sim::cim::DateTime}})
            .Instance({{property,
                        c.boot != nullptr && c.boot[0] != u'-' ? sim::WmiValue{c.boot} : sim::WmiValue{}}});
        const std::string takenAway = c.takenAway != nullptr ? c.takenAway : "";
        if (takenAway == "GetTickCount64") sim::HideSystemExport("kernel32", takenAway);
        if (takenAway.starts_with("Win32_")) sim::FailQuery(u"Win32_OperatingSystem", WBEM_E_FAILED);
        ISystem* system = GetISystem();
        const bool failsOnce =
            !takenAway.empty() && takenAway != "GetTickCount64" && !takenAway.starts_with("Win32_");
        if (failsOnce) sim::FailCall(takenAway, 1, ERROR_INVALID_PARAMETER);
        SYSTEMTIME bootTime{};
        bootTime.wYear = c.callerYear;
        EXPECT_EQ(system->GetLastBootUpTime(&bootTime), c.result) << c.what;
        EXPECT_EQ(Iso(bootTime), c.time) << c.what;
        EXPECT_EQ(sim::CallCount("CoInitializeEx") > 0, c.asksWmi) << c.what;
        FreeISystem(&system);
    }
}

TEST_F(SystemTest, BadArgumentsAndNoWmiManager) {
    ISystem* system = GetISystem();
    EXPECT_EQ(system->GetLastBootUpTime(nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    sim::MachineFacts().clock = Clock();
    sim::MachineFacts().tickCount = Clock() / 10000 + 1000;  // beyond the clock: WMI is needed
    SYSTEMTIME bootTime{};
    FailNextNothrowNew();
    EXPECT_EQ(system->GetLastBootUpTime(&bootTime), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(bootTime.wYear, 0);
    FreeISystem(&system);
}

}  // namespace
}  // namespace hostlens::test
