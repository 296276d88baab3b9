// The collection driver as the agent sees it: the order of the collectors, what a
// failing one leaves, the result, and a run that meets failures or other threads.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "hardware_fixture.h"
#include "support/failing_new.h"
#include "platform/posix/com/sim_wmi.h"

namespace hostlens::test {
namespace {

// The members the record leaves empty (or false).
std::set<std::string> EmptyMembers(const HardwareInfo& info) {
    std::set<std::string> empty;
    const cli::Json json = info;
    for (const auto& [name, value] : json.items())
        if (value == "" || value == cli::Json::array() || value == false) empty.insert(name);
    return empty;
}

TEST_F(HardwareTest, EachCollectorRunsInItsPlaceAndAFailingOneEmptiesOnlyItsMember) {
    struct Case {
        const char16_t* failingClass;
        std::set<std::string> emptied;
        std::vector<std::string> traces;  // the laptop has no CD-ROM drive: 4:6 always
    };
    const Case cases[] = {
        {nullptr, {}, {"4:6"}},
        {u"Win32_ComputerSystem", {"SystemType", "Model", "Manufacturer"}, {"2:1", "4:6"}},
        {u"Win32_SystemEnclosure", {"IsPortable"}, {"2:2", "4:6"}},
        {u"Win32_Processor", {"Processors"}, {"2:3", "4:6"}},
        {u"Win32_DiskDrive", {"DiskDrives"}, {"4:4", "4:6"}},
        {u"Win32_PhysicalMemory", {"MemoryModules"}, {"2:5", "4:6"}},
        {u"Win32_CDROMDrive", {}, {"4:6"}},
        {u"Win32_BaseBoard", {"BaseBoards"}, {"4:6", "2:7"}},
        {u"Win32_BIOS", {"BIOSes"}, {"4:6", "2:8"}},
        {u"Win32_SoundDevice", {"SoundDevices"}, {"4:6", "4:9"}},
        {u"Win32_NetworkAdapter", {"NetworkAdapters"}, {"4:6", "4:10", "4:"}},
        {u"Win32_PortableBattery", {"Batteries"}, {"4:6", "4:11"}},
        {u"Win32_DesktopMonitor", {"Monitors"}, {"4:6", "4:12"}},
        {u"Win32_VideoController", {"VideoControllers"}, {"4:6", "4:13"}},
        {u"Win32_Tpm", {"TpmModules"}, {"4:6", "2:15"}},
    };
    for (const Case& c : cases) {
        LoadSample("win11-workstation");
        if (c.failingClass != nullptr) sim::FailQuery(c.failingClass, WBEM_E_FAILED);
        HardwareInfo info;
        EXPECT_EQ(Collect(info), 0u);
        std::set<std::string> emptied = c.emptied;
        emptied.insert("CDROMDrives");
        EXPECT_EQ(EmptyMembers(info), emptied) << Utf8(WString(c.failingClass ? c.failingClass : u""));
        EXPECT_EQ(DriverTraces(), c.traces);
    }
}

TEST_F(HardwareTest, QueriesOfAFullMachineInTheirOrder) {
    LoadSample("win11-workstation");
    sim::StartWmiQueryLog();
    HardwareInfo info;
    ASSERT_EQ(Collect(info), 0u);
    const std::u16string cimv2 = u"root\\cimv2";
    const std::u16string config = u"SELECT * FROM Win32_NetworkAdapterConfiguration WHERE InterfaceIndex = ";
    const std::vector<sim::WmiQueryRecord> expected = {
        {cimv2, u"SELECT * FROM Win32_ComputerSystem"},
        {cimv2, u"SELECT ChassisTypes FROM Win32_SystemEnclosure"},
        {cimv2, u"SELECT * FROM Win32_Processor"},
        {cimv2, u"SELECT * FROM Win32_DiskDrive"},
        {cimv2, u"SELECT * FROM Win32_PhysicalMemory"},
        {cimv2, u"SELECT * FROM Win32_CDROMDrive"},
        {cimv2, u"SELECT * FROM Win32_BaseBoard"},
        {cimv2, u"SELECT * FROM Win32_BIOS"},
        {cimv2, u"SELECT * FROM Win32_SoundDevice"},
        {cimv2, u"SELECT * FROM Win32_NetworkAdapter WHERE NetConnectionID IS NOT NULL"},
        {cimv2, config + u"9"},
        {cimv2, config + u"14"},
        {cimv2, config + u"6"},
        {cimv2, u"SELECT * FROM Win32_PortableBattery"},
        {cimv2, u"SELECT * FROM Win32_Battery WHERE Name = \"5B10X55569\""},
        {cimv2,
         u"SELECT * FROM Win32_DesktopMonitor WHERE (Availability = 3) OR (ConfigManagerErrorCode = 0) OR "
         u"(ScreenHeight IS NOT NULL AND ScreenWidth IS NOT NULL)"},
        {cimv2, u"SELECT * FROM Win32_VideoController"},
        {u"root\\cimv2\\Security\\MicrosoftTpm", u"SELECT * FROM Win32_Tpm"},
    };
    EXPECT_EQ(sim::TakeWmiQueryLog(), expected);
}

TEST_F(HardwareTest, ResultSaysWhetherAnythingWasFound) {
    using sim::cim::String;
    struct Case {
        const char* what;
        const char16_t* ns;
        const char16_t* cls;
        std::vector<sim::WmiProperty> properties;
        sim::WmiNamedValues values;
        DWORD result;
    } cases[] = {
        {"no WMI at all", nullptr, nullptr, {}, {}, 0x80070490},
        {"a portable chassis alone",
         u"ROOT\\CIMV2",
         u"Win32_SystemEnclosure",
         {{u"ChassisTypes", sim::cim::UInt16 | sim::cim::Array}},
         {{u"ChassisTypes", sim::WmiArray{std::uint64_t{10}}}},
         0x80070490},
        {"a model alone",
         u"ROOT\\CIMV2",
         u"Win32_ComputerSystem",
         {{u"Model", String}},
         {{u"Model", u"M"}},
         0},
        {"a TPM alone",
         u"ROOT\\CIMV2\\Security\\MicrosoftTpm",
         u"Win32_Tpm",
         {{u"SpecVersion", String}},
         {{u"SpecVersion", u"2.0"}},
         0},
    };
    for (const Case& c : cases) {
        Reset();
        if (c.cls != nullptr) sim::DefineWmiClass(c.ns, c.cls, c.properties).Instance(c.values);
        HardwareInfo info;
        EXPECT_EQ(Collect(info), c.result) << c.what;
    }

    // Without a WMI manager the caller's record stays as it was.
    IHardware* hardware = GetIHardware();
    HardwareInfo info;
    info.Model = W("kept");
    FailNextNothrowNew();
    EXPECT_EQ(hardware->GetHardwareInfo(info), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(info.Model, W("kept"));
    FreeIHardware(&hardware);
}

TEST_F(HardwareTest, ASecondCallReplacesTheRecord) {
    LoadSample("server2019");
    HardwareInfo info;
    ASSERT_EQ(Collect(info), 0u);
    const cli::Json first = Json(info);
    ASSERT_EQ(Collect(info), 0u);
    EXPECT_EQ(Json(info), first);
}

// Every query failing in turn, a connection that fails, once and for good: the other
// collectors carry on, and COM and every WMI object are given back.
TEST_F(HardwareTest, FailingWmiCallsLeaveNothingOpen) {
    struct Case {
        const char* function;
        unsigned occurrence;
        unsigned times;
        DWORD result;
    };
    std::vector<Case> cases = {{"IWbemLocator::ConnectServer", 1, 1, 0},
                               {"IWbemLocator::ConnectServer", 1, 100, 0x80070490},
                               {"CoCreateInstance", 1, 100, 0x80070490}};
    LoadSample("server2019");
    sim::StartWmiQueryLog();
    HardwareInfo full;
    ASSERT_EQ(Collect(full), 0u);
    const std::size_t queries = sim::TakeWmiQueryLog().size();
    for (unsigned occurrence = 1; occurrence <= queries; ++occurrence)
        cases.push_back({"IWbemServices::ExecQuery", occurrence, 1, 0});
    for (const Case& c : cases) {
        LoadSample("server2019");
        const sim::OpenCounts before = sim::Open();
        sim::FailCall(c.function, c.occurrence, static_cast<std::uint32_t>(WBEM_E_FAILED), c.times);
        HardwareInfo info;
        EXPECT_EQ(Collect(info), c.result) << c.function << " #" << c.occurrence;
        EXPECT_EQ(sim::Open(), before) << c.function << " #" << c.occurrence;
        EXPECT_EQ(sim::CallCount("CoInitializeEx"), sim::CallCount("CoUninitialize"));
    }
}

TEST_F(HardwareTest, ThreadsCollectSideBySide) {
    LoadSample("win11-workstation");
    HardwareInfo alone;
    ASSERT_EQ(Collect(alone), 0u);
    std::vector<HardwareInfo> infos(8);
    std::vector<DWORD> results(infos.size(), 1);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < infos.size(); ++i)
        threads.emplace_back([&, i] { results[i] = Collect(infos[i]); });
    for (std::thread& thread : threads) thread.join();
    for (std::size_t i = 0; i < infos.size(); ++i) {
        EXPECT_EQ(results[i], 0u);
        EXPECT_EQ(Json(infos[i]), Json(alone));
    }
}

}  // namespace
}  // namespace hostlens::test
