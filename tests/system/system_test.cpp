// The start time as the agent gets it through GetISystem: from the clock and the tick
// count, and from WMI when they give no time.
#include <gtest/gtest.h>

#include <cstdio>

#include "hostlens/Exports.h"
#include "platform/posix/com/sim_wmi.h"
#include "support/failing_new.h"
#include "support/machine_test.h"

namespace hostlens::test {
namespace {

std::string Iso(const SYSTEMTIME& t) {
    if (t.wYear == 0) return "";
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

// 2024-05-14 17:40:00 UTC as a file time.
std::uint64_t Clock() {
    SYSTEMTIME clock{2024, 5, 2, 14, 17, 40, 0, 0};
    FILETIME now{};
    SystemTimeToFileTime(&clock, &now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

class SystemTest : public MachineTest {};

TEST_F(SystemTest, StartTimeFromTheTickCountElseFromWmi) {
    constexpr std::uint64_t kUp63Days = 5455517250;  // 63 days 3:25:17.250
    constexpr std::uint64_t kBeyondTheClock = 0;     // a second more than the clock's time since 1601
    enum class Boot { Value, Null, Missing, Malformed, Failing };
    struct Case {
        const char* what;
        std::uint64_t tickCount;
        bool withoutTickCount64;
        const char* failCall;
        Boot boot;
        WORD callerYear;
        DWORD result;
        std::string time;
        bool asksWmi;
    } cases[] = {
        {"64-bit count", kUp63Days, false, nullptr, Boot::Value, 0, 0, "2024-03-12T14:14:42.750", false},
        {"32-bit count: wrapped after 49.7 days", kUp63Days, true, nullptr, Boot::Value, 0, 0,
         "2024-05-01T07:17:30.046", false},
        {"Kernel32 not loaded: 32-bit count", kUp63Days, false, "LoadLibraryExW", Boot::Value, 0, 0,
         "2024-05-01T07:17:30.046", false},
        {"count times 10000 wraps to 0", 1ull << 62, false, nullptr, Boot::Value, 0, 0,
         "2024-05-14T17:40:00.000", false},
        {"count beyond the clock: WMI", kBeyondTheClock, false, nullptr, Boot::Value, 0, 0,
         "2024-03-12T14:14:42.750", true},
        {"no time from the conversion: WMI", kUp63Days, false, "FileTimeToSystemTime", Boot::Value, 0, 0,
         "2024-03-12T14:14:42.750", true},
        {"WMI value null", kBeyondTheClock, false, nullptr, Boot::Null, 0, ERROR_NOT_FOUND, "", true},
        {"WMI value missing", kBeyondTheClock, false, nullptr, Boot::Missing, 0, ERROR_NOT_FOUND, "", true},
        {"WMI value with unspecified fields", kBeyondTheClock, false, nullptr, Boot::Malformed, 0,
         ERROR_NOT_FOUND, "", true},
        {"WMI query failing", kBeyondTheClock, false, nullptr, Boot::Failing, 0, ERROR_NOT_FOUND, "", true},
        {"the caller's year stands", kUp63Days, false, "FileTimeToSystemTime", Boot::Value, 2000, 0,
         "2000-00-00T00:00:00.000", false},
    };
    for (const Case& c : cases) {
        sim::ResetMachine(DriveC());
        sim::MachineFacts().clock = Clock();
        sim::MachineFacts().tickCount = c.tickCount != kBeyondTheClock ? c.tickCount : Clock() / 10000 + 1000;
        if (c.withoutTickCount64) sim::HideSystemExport("kernel32", "GetTickCount64");
        const bool hasProperty = c.boot != Boot::Missing;
        sim::WmiValue boot = c.boot == Boot::Null        ? sim::WmiValue{}
                             : c.boot == Boot::Malformed ? sim::WmiValue{u"20240312******.******+000"}
                                                         : sim::WmiValue{u"20240312151442.750000+060"};
        sim::DefineWmiClass(
            u"ROOT\\CIMV2", u"Win32_OperatingSystem",
            {{u"Caption", sim::cim::String}, {hasProperty ? u"LastBootUpTime" : u"Other", 101}})
            .Instance({{u"Caption", u"Windows"}, {hasProperty ? u"LastBootUpTime" : u"Other", boot}});
        if (c.boot == Boot::Failing) sim::FailQuery(u"Win32_OperatingSystem", WBEM_E_FAILED);
        ISystem* system = GetISystem();
        ASSERT_NE(system, nullptr);
        if (c.failCall != nullptr) sim::FailCall(c.failCall, 1, ERROR_INVALID_PARAMETER);
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
    ASSERT_NE(system, nullptr);
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
