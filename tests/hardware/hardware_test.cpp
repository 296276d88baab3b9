// GetHardwareInfo as the agent calls it, against sample machines and machines made
// for the collectors' edge cases (machines/): the record and the queries, each
// collector's place and trace level, the result, and runs that meet failures or
// other threads.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "frame/trace.h"
#include "hostlens/Exports.h"
#include "platform/posix/com/sim_wmi.h"
#include "platform/posix/machine/sim_machinedir.h"
#include "support/failing_new.h"
#include "support/machine_test.h"
#include "tools/hostlens/records_json.h"

namespace hostlens::test {
namespace {

namespace fs = std::filesystem;
using cli::Json;

// {2DAFC98A-3FB6-4126-B13F-630081154973}
constexpr GUID kControlGuid = {0x2DAFC98A, 0x3FB6, 0x4126, {0xB1, 0x3F, 0x63, 0x00, 0x81, 0x15, 0x49, 0x73}};
constexpr GUID kDriverGuid = trace::ModuleGuid("hardware/hardware");

class HardwareTest : public MachineTest {
protected:
    // A machine directory, or none: a machine without WMI.
    static void Load(const fs::path& dir) {
        if (dir.empty()) {
            sim::ResetMachine();
        } else {
            EXPECT_EQ(sim::LoadMachineDirectory(dir), std::nullopt);
        }
        sim::EnableTraceProvider(kControlGuid, trace::kVerbose, trace::kGeneral);
        sim::StartTraceCapture();
    }
    static DWORD Collect(HardwareInfo& info) {
        IHardware* hardware = GetIHardware();
        DWORD result = hardware->GetHardwareInfo(info);
        FreeIHardware(&hardware);
        return result;
    }
    // The driver's trace points, "level:place" of the collector that found nothing ("4:"
    // for the fallback without WMI).
    static std::vector<std::string> DriverTraces() {
        std::vector<std::string> traces;
        for (const sim::TracePoint& point : sim::TakeTraceCapture()) {
            if (std::memcmp(&point.messageGuid, &kDriverGuid, sizeof(GUID)) != 0) continue;
            int place = 0;
            if (!point.args.empty()) std::memcpy(&place, point.args[0].data(), sizeof place);
            traces.push_back(std::to_string(point.level) + ":" +
                             (point.args.empty() ? "" : std::to_string(place)));
        }
        return traces;
    }
};

// The expected records and queries were worked out from the class files.
TEST_F(HardwareTest, RecordAndQueriesOfEachMachine) {
    const fs::path samples = HOSTLENS_SAMPLE_MACHINES;
    const fs::path tests = fs::path(HOSTLENS_TEST_SOURCES) / "hardware";
    for (const fs::path& dir :
         {samples / "win11-workstation", samples / "server2019", samples / "server2003r2-x64",
          tests / "machines/values", tests / "machines/types"}) {
        SCOPED_TRACE(dir.filename().string());
        const Json expected =
            Json::parse(std::ifstream(tests / "expected" / (dir.filename().string() + ".json")));
        Load(dir);
        sim::StartWmiQueryLog();
        HardwareInfo info;
        EXPECT_EQ(Collect(info), expected["hardware"]["result"]);
        EXPECT_EQ(Json(info), expected["hardware"]["HardwareInfo"]);
        Json queries = Json::array();
        for (const sim::WmiQueryRecord& query : sim::TakeWmiQueryLog())
            queries.push_back({Utf8(WString(query.ns.begin(), query.ns.end())),
                               Utf8(WString(query.wql.begin(), query.wql.end())), query.result});
        EXPECT_EQ(queries, expected["queries"]);
    }
}

TEST_F(HardwareTest, EachCollectorRunsInItsPlaceAndAFailingOneEmptiesOnlyItsMember) {
    struct Case {
        const char16_t* failingClass;
        std::set<std::string> emptied;    // besides CDROMDrives: the laptop has none
        std::vector<std::string> traces;  // "4:6" for the missing CD-ROM drive
    } cases[] = {
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
        {u"Win32_NetworkAdapterConfiguration", {}, {"4:6"}},  // the adapters stay
        {u"Win32_PortableBattery", {"Batteries"}, {"4:6", "4:11"}},
        {u"Win32_Battery", {}, {"4:6"}},  // the battery stays
        {u"Win32_DesktopMonitor", {"Monitors"}, {"4:6", "4:12"}},
        {u"Win32_VideoController", {"VideoControllers"}, {"4:6", "4:13"}},
        {u"Win32_Tpm", {"TpmModules"}, {"4:6", "2:14"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(WString(c.failingClass)));
        Load(fs::path(HOSTLENS_SAMPLE_MACHINES) / "win11-workstation");
        sim::FailQuery(c.failingClass, WBEM_E_FAILED);
        HardwareInfo info;
        EXPECT_EQ(Collect(info), 0u);
        std::set<std::string> emptied = c.emptied;
        emptied.insert("CDROMDrives");
        const Json json = info;
        for (const auto& [name, value] : json.items())
            EXPECT_EQ(value == "" || value == Json::array() || value == false, emptied.count(name) == 1)
                << name;
        EXPECT_EQ(DriverTraces(), c.traces);
    }
}

// The result counts the strings and lists: a portable chassis alone is no find.
TEST_F(HardwareTest, ChassisAloneFindsNothingAndOnlyItsFirstTypeCounts) {
    using sim::WmiArray;
    using U = std::uint64_t;
    struct Case {
        std::vector<sim::WmiValue> enclosures;  // none: no class at all, the query fails
        bool portable;
    } cases[] = {
        {{WmiArray{U{10}}}, true},
        {{WmiArray{U{8}}, WmiArray{U{3}}}, true},
        {{WmiArray{U{12}}}, true},
        {{WmiArray{U{14}}}, true},
        {{WmiArray{U{13}}}, false},
        {{WmiArray{U{3}, U{10}}}, false},
        {{WmiArray{}}, false},
        {{sim::WmiValue{}}, false},
        {{}, false},
    };
    for (const Case& c : cases) {
        Load({});
        if (!c.enclosures.empty()) {
            sim::WmiClass enclosure =
                sim::DefineWmiClass(u"ROOT\\CIMV2", u"Win32_SystemEnclosure",
                                    {{u"ChassisTypes", sim::cim::UInt16 | sim::cim::Array}});
            for (const sim::WmiValue& types : c.enclosures) enclosure.Instance({{u"ChassisTypes", types}});
        }
        HardwareInfo info;
        EXPECT_EQ(Collect(info), 0x80070490u);
        EXPECT_EQ(info.IsPortable, c.portable) << "case " << (&c - cases);
        const std::vector<std::string> traces = DriverTraces();
        EXPECT_EQ(std::count(traces.begin(), traces.end(), "2:2"), c.enclosures.empty() ? 1 : 0)
            << "an error only when the query fails";
    }
}

TEST_F(HardwareTest, AModelAloneIsAFindAndNoManagerLeavesTheRecord) {
    Load({});
    sim::DefineWmiClass(u"ROOT\\CIMV2", u"Win32_ComputerSystem", {{u"Model", sim::cim::String}})
        .Instance({{u"Model", u"M"}});
    HardwareInfo info;
    EXPECT_EQ(Collect(info), 0u);
    IHardware* hardware = GetIHardware();
    FailNextNothrowNew();
    EXPECT_EQ(hardware->GetHardwareInfo(info), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(info.Model, W("M"));
    FreeIHardware(&hardware);
}

// WMI failing for good (the fault sweep fails each call once): nothing is found, and
// COM and every WMI object are given back.
TEST_F(HardwareTest, WmiFailingForGoodFindsNothingAndLeavesNothingOpen) {
    for (const char* function :
         {"IWbemLocator::ConnectServer", "CoCreateInstance", "IWbemServices::ExecQuery"}) {
        Load(fs::path(HOSTLENS_SAMPLE_MACHINES) / "server2019");
        const sim::OpenCounts before = sim::Open();
        sim::FailCall(function, 1, static_cast<std::uint32_t>(WBEM_E_FAILED), 999);
        HardwareInfo info;
        EXPECT_EQ(Collect(info), 0x80070490u) << function;
        EXPECT_EQ(sim::Open(), before) << function;
        EXPECT_EQ(sim::CallCount("CoInitializeEx"), sim::CallCount("CoUninitialize")) << function;
    }
}

// Each thread calls twice with its own record: the second call replaces the first.
TEST_F(HardwareTest, ThreadsCollectSideBySide) {
    Load(fs::path(HOSTLENS_SAMPLE_MACHINES) / "win11-workstation");
    HardwareInfo alone;
    ASSERT_EQ(Collect(alone), 0u);
    std::vector<HardwareInfo> infos(8);
    std::vector<DWORD> results(infos.size(), 1);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < infos.size(); ++i)
        threads.emplace_back([&, i] { results[i] = Collect(infos[i]) | Collect(infos[i]); });
    for (std::thread& thread : threads) thread.join();
    for (std::size_t i = 0; i < infos.size(); ++i) {
        EXPECT_EQ(results[i], 0u);
        EXPECT_EQ(Json(infos[i]), Json(alone));
    }
}

}  // namespace
}  // namespace hostlens::test
