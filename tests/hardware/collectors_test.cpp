// What each collector makes of the rows WMI gives: the values by their types, the
// filters, and the edge cases of chassis, TPM, batteries and network adapters. The
// record is compared as the command line prints it, at JSON pointers.
#include <gtest/gtest.h>

#include "hardware_fixture.h"
#include "platform/posix/com/sim_wmi.h"

namespace hostlens::test {
namespace {

using namespace sim::cim;
using sim::WmiArray;
using Checks = std::vector<std::pair<const char*, const char*>>;  // JSON pointer, expected JSON
constexpr std::u16string_view kCimV2 = u"ROOT\\CIMV2";

std::uint64_t U(std::uint64_t value) {
    return value;
}

class CollectorsTest : public HardwareTest {
protected:
    // Runs the driver and checks the record at each pointer.
    static void ExpectRecord(const Checks& checks, const std::string& what) {
        HardwareInfo info;
        Collect(info);
        const cli::Json json = cli::Json(info);
        for (const auto& [pointer, expected] : checks)
            EXPECT_EQ(json.at(cli::Json::json_pointer(pointer)), cli::Json::parse(expected))
                << what << " " << pointer;
    }
};

TEST_F(CollectorsTest, EachClassFillsItsMembersByTheValuesTypes) {
    struct Case {
        const char* what;
        const char16_t* cls;
        std::vector<sim::WmiProperty> properties;
        std::vector<sim::WmiNamedValues> instances;
        Checks checks;
    };
    const Case cases[] = {
        {"the first computer system only",
         u"Win32_ComputerSystem",
         {{u"Model", String}},
         {{{u"Model", u"first"}}, {{u"Model", u"second"}}},
         {{"/Model", R"("first")"}}},
        {"uint32 above 2^31, null and a property the class lacks",
         u"Win32_Processor",
         {{u"DeviceID", String}, {u"NumberOfLogicalProcessors", UInt32}, {u"MaxClockSpeed", UInt32}},
         {{{u"DeviceID", u"CPU0"}, {u"NumberOfLogicalProcessors", U(24)}, {u"MaxClockSpeed", U(4294967295)}},
          {{u"DeviceID", u"CPU1"}}},
         {{"/Processors",
           R"([{"DeviceID":"CPU0","Manufacturer":"","Name":"","NumberOfCores":null,"NumberOfLogicalProcessors":24,
                "MaxClockSpeed":4294967295,"CurrentClockSpeed":null,"ProcessorId":""},
               {"DeviceID":"CPU1","Manufacturer":"","Name":"","NumberOfCores":null,
                "NumberOfLogicalProcessors":null,"MaxClockSpeed":null,"CurrentClockSpeed":null,"ProcessorId":""}])"}}},
        {"uint64 as text, saturated as the runtime's parser does, and as a number",
         u"Win32_DiskDrive",
         {{u"Size", UInt64}, {u"Partitions", UInt32}},
         {{{u"Size", u"18446744073709551615"}, {u"Partitions", U(2147483648)}}, {{u"Size", U(512105932800)}}},
         {{"/DiskDrives/0/Size", "9223372036854775807"},
          {"/DiskDrives/0/Partitions", "2147483648"},
          {"/DiskDrives/1/Size", "512105932800"},
          {"/DiskDrives/1/Partitions", "null"}}},
        {"numbers declared with other types are not read",
         u"Win32_DiskDrive",
         {{u"Size", String}, {u"Partitions", Boolean}},
         {{{u"Size", u"512"}, {u"Partitions", true}}},
         {{"/DiskDrives/0/Size", "null"}, {"/DiskDrives/0/Partitions", "null"}}},
        {"identical modules are two",
         u"Win32_PhysicalMemory",
         {{u"Capacity", UInt64}, {u"Speed", UInt32}},
         {{{u"Capacity", u"17179869184"}, {u"Speed", U(5200)}},
          {{u"Capacity", u"17179869184"}, {u"Speed", U(5200)}}},
         {{"/MemoryModules/1/Capacity", "17179869184"}, {"/MemoryModules/1/Speed", "5200"}}},
        {"texts",
         u"Win32_CDROMDrive",
         {{u"Drive", String}, {u"Caption", String}, {u"MediaType", String}},
         {{{u"Drive", u"E:"}, {u"Caption", u"DVD"}, {u"MediaType", u"DVD Writer"}}, {{u"Caption", u"CD"}}},
         {{"/CDROMDrives", R"([{"Drive":"E:","Caption":"DVD","MediaType":"DVD Writer"},
                               {"Drive":"","Caption":"CD","MediaType":""}])"}}},
        {"arrays",
         u"Win32_BIOS",
         {{u"BIOSVersion", String | Array}, {u"SerialNumber", String}},
         {{{u"BIOSVersion", WmiArray{u"a", u"b", u"c"}}},
          {{u"BIOSVersion", WmiArray{}}, {u"SerialNumber", u"S"}}},
         {{"/BIOSes/0/BIOSVersion", R"(["a","b","c"])"}, {"/BIOSes/1/BIOSVersion", "[]"}}},
        {"text beyond ASCII",
         u"Win32_SoundDevice",
         {{u"Caption", String}},
         {{{u"Caption", u"Intel\u00AE Smart Sound"}}},
         {{"/SoundDevices/0/Caption", "\"Intel\u00AE Smart Sound\""}}},
        {"the monitor query's condition",
         u"Win32_DesktopMonitor",
         {{u"DeviceID", String},
          {u"Availability", UInt16},
          {u"ConfigManagerErrorCode", UInt32},
          {u"ScreenHeight", UInt32},
          {u"ScreenWidth", UInt32}},
         {{{u"DeviceID", u"off"}, {u"Availability", U(8)}, {u"ConfigManagerErrorCode", U(22)}},
          {{u"DeviceID", u"sized"},
           {u"Availability", U(8)},
           {u"ConfigManagerErrorCode", U(22)},
           {u"ScreenHeight", U(768)},
           {u"ScreenWidth", U(1024)}}},
         {{"/Monitors", R"([{"DeviceID":"sized","MonitorManufacturer":"","MonitorType":""}])"}}},
        {"uint32 of 2^31",
         u"Win32_VideoController",
         {{u"AdapterRAM", UInt32}, {u"CurrentRefreshRate", UInt32}},
         {{{u"AdapterRAM", U(2147483648)}}},
         {{"/VideoControllers/0/AdapterRAM", "2147483648"},
          {"/VideoControllers/0/CurrentRefreshRate", "null"}}},
    };
    for (const Case& c : cases) {
        Reset();
        sim::WmiClass cls = sim::DefineWmiClass(kCimV2, c.cls, c.properties);
        for (const sim::WmiNamedValues& instance : c.instances) cls.Instance(instance);
        ExpectRecord(c.checks, c.what);
    }
}

TEST_F(CollectorsTest, TpmVendorCodeFromItsNumberWhenTheTextIsMissing) {
    struct Case {
        sim::WmiValue text;
        std::uint64_t id;
        const char* expected;
    } cases[] = {
        {u"IFX", 0x494E5443, R"("IFX")"},  // the text wins
        {{}, 0x494E5443, R"("INTC")"},    {{}, 0, R"("")"},
        {{}, 0x41420000, R"("AB")"},      {{}, 0x00414243, R"("")"},  // most significant byte 0
        {{}, 0xC9000000, "\"\u00C9\""},                               // the ANSI code page, 1252
    };
    for (const Case& c : cases) {
        Reset();
        sim::DefineWmiClass(u"ROOT\\CIMV2\\Security\\MicrosoftTpm", u"Win32_Tpm",
                            {{u"IsActivated_InitialValue", Boolean},
                             {u"IsEnabled_InitialValue", Boolean},
                             {u"IsOwned_InitialValue", Boolean},
                             {u"ManufacturerId", UInt32},
                             {u"ManufacturerIdTxt", String}})
            .Instance({{u"IsActivated_InitialValue", true},
                       {u"IsEnabled_InitialValue", false},
                       {u"ManufacturerId", c.id},
                       {u"ManufacturerIdTxt", c.text}});
        ExpectRecord({{"/TpmModules/0/ManufacturerIdTxt", c.expected},
                      {"/TpmModules/0/IsActivated_InitialValue", "true"},
                      {"/TpmModules/0/IsEnabled_InitialValue", "false"},
                      {"/TpmModules/0/IsOwned_InitialValue", "null"}},
                     std::to_string(c.id));
    }
}

TEST_F(CollectorsTest, OnlyTheFirstChassisTypeOfAnEnclosureCounts) {
    struct Case {
        const char* what;
        bool defined;
        sim::CimType type;
        std::vector<sim::WmiValue> enclosures;
        bool portable;
        bool failed;  // the driver traces step 2
    } cases[] = {
        {"laptop", true, UInt16 | Array, {WmiArray{U(10)}}, true, false},
        {"sub notebook after a desktop",
         true,
         UInt16 | Array,
         {WmiArray{U(3)}, WmiArray{U(14)}},
         true,
         false},
        {"portable (13)", true, UInt16 | Array, {WmiArray{U(13)}}, false, false},
        {"desktop docked to a laptop", true, UInt16 | Array, {WmiArray{U(3), U(10)}}, false, false},
        {"null", true, UInt16 | Array, {sim::WmiValue{}}, false, false},
        {"text that is no number", true, String, {u"abc"}, false, false},
        {"text that starts with one", true, String, {u" 9 | 3"}, true, false},
        {"no enclosure", true, UInt16 | Array, {}, false, false},
        {"no class", false, 0, {}, false, true},
    };
    for (const Case& c : cases) {
        Reset();
        if (c.defined) {
            sim::WmiClass cls =
                sim::DefineWmiClass(kCimV2, u"Win32_SystemEnclosure", {{u"ChassisTypes", c.type}});
            for (const sim::WmiValue& types : c.enclosures) cls.Instance({{u"ChassisTypes", types}});
        }
        HardwareInfo info;
        Collect(info);
        EXPECT_EQ(info.IsPortable, c.portable) << c.what;
        const std::vector<std::string> traces = DriverTraces();
        EXPECT_EQ(std::count(traces.begin(), traces.end(), "2:2"), c.failed ? 1 : 0) << c.what;
    }
}

TEST_F(CollectorsTest, BatteryFindsItsOwnRowByAQuotedName) {
    struct Case {
        sim::WmiValue name;
        bool batteryClassFails;
        std::u16string constant;  // as the follow-up query writes the name
        const char* checks;       // DeviceID, Status, DesignVoltage
    } cases[] = {
        {u"N1", false, u"\"N1\"", R"(["B1","OK",15440])"},
        {u"N9", false, u"\"N9\"", R"(["P0","",15400])"},
        {{}, false, u"\"\"", R"(["B-unnamed","Unknown",15400])"},
        {u"a\\b", false, u"\"a\\\\b\"", R"(["B-backslash","OK",15400])"},
        {u"x\" OR Name LIKE \"%", false, u"\"x\\\" OR Name LIKE \\\"%\"", R"(["P0","",15400])"},
        {u"N1", true, u"\"N1\"", R"(["P0","",15400])"},
    };
    for (const Case& c : cases) {
        Reset();
        sim::DefineWmiClass(kCimV2, u"Win32_PortableBattery",
                            {{u"DeviceID", String}, {u"Name", String}, {u"DesignVoltage", UInt64}})
            .Instance({{u"DeviceID", u"P0"}, {u"Name", c.name}, {u"DesignVoltage", u"15400"}});
        sim::DefineWmiClass(
            kCimV2, u"Win32_Battery",
            {{u"DeviceID", String}, {u"Name", String}, {u"Status", String}, {u"DesignVoltage", UInt64}})
            .Instance(
                {{u"DeviceID", u"B1"}, {u"Name", u"N1"}, {u"Status", u"OK"}, {u"DesignVoltage", u"15440"}})
            .Instance({{u"DeviceID", u"B-unnamed"}, {u"Name", u""}, {u"Status", u"Unknown"}})
            .Instance({{u"DeviceID", u"B-backslash"}, {u"Name", u"a\\b"}, {u"Status", u"OK"}});
        if (c.batteryClassFails) sim::FailQuery(u"Win32_Battery", WBEM_E_FAILED);
        sim::StartWmiQueryLog();
        HardwareInfo info;
        Collect(info);
        ASSERT_EQ(info.Batteries.size(), 1u);
        const cli::Json json = info;
        const cli::Json& battery = json["Batteries"][0];
        EXPECT_EQ((cli::Json{battery["DeviceID"], battery["Status"], battery["DesignVoltage"]}),
                  cli::Json::parse(c.checks));
        sim::WmiQueryRecord followUp;
        for (const sim::WmiQueryRecord& query : sim::TakeWmiQueryLog())
            if (query.wql.starts_with(u"SELECT * FROM Win32_Battery ")) followUp = query;
        EXPECT_EQ(followUp.wql, u"SELECT * FROM Win32_Battery WHERE Name = " + c.constant);
        EXPECT_EQ(followUp.result, c.batteryClassFails ? WBEM_E_FAILED : 0) << "one well-formed query";
    }
}

TEST_F(CollectorsTest, AdaptersJoinTheirConfigurationByInterfaceIndexElseIndex) {
    sim::DefineWmiClass(kCimV2, u"Win32_NetworkAdapter",
                        {{u"Name", String},
                         {u"NetConnectionID", String},
                         {u"PhysicalAdapter", Boolean},
                         {u"InterfaceIndex", UInt32},
                         {u"Index", UInt32}})
        .Instance({{u"Name", u"both"},
                   {u"NetConnectionID", u"1"},
                   {u"PhysicalAdapter", true},
                   {u"InterfaceIndex", U(12)},
                   {u"Index", U(7)}})
        .Instance({{u"Name", u"virtual"},
                   {u"NetConnectionID", u"2"},
                   {u"PhysicalAdapter", false},
                   {u"InterfaceIndex", U(13)}})
        .Instance({{u"Name", u"index only"}, {u"NetConnectionID", u"3"}, {u"Index", U(7)}})
        .Instance({{u"Name", u"neither"}, {u"NetConnectionID", u"4"}})
        .Instance({{u"Name", u"absent interface index"},
                   {u"NetConnectionID", u"5"},
                   {u"InterfaceIndex", U(0xFFFFFFFF)},
                   {u"Index", U(3)}})
        .Instance({{u"Name", u"high"}, {u"NetConnectionID", u"6"}, {u"InterfaceIndex", U(2147483648)}})
        .Instance({{u"Name", u"not connected"}, {u"InterfaceIndex", U(20)}});
    sim::DefineWmiClass(kCimV2, u"Win32_NetworkAdapterConfiguration",
                        {{u"InterfaceIndex", UInt32},
                         {u"Index", UInt32},
                         {u"DNSHostName", String},
                         {u"IPAddress", String | Array},
                         {u"DHCPServer", String}})
        .Instance({{u"InterfaceIndex", U(12)},
                   {u"Index", U(1)},
                   {u"DNSHostName", u"first"},
                   {u"IPAddress", WmiArray{u"10.0.0.5", u"10.0.0.6", u"fe80::1"}},
                   {u"DHCPServer", u"10.0.0.1"}})
        .Instance({{u"InterfaceIndex", U(12)}, {u"Index", U(2)}, {u"DNSHostName", u"second"}})
        .Instance({{u"InterfaceIndex", U(30)}, {u"Index", U(7)}, {u"DNSHostName", u"by index"}});
    const std::u16string config = u"SELECT * FROM Win32_NetworkAdapterConfiguration WHERE ";
    for (bool configurationFails : {false, true}) {
        if (configurationFails) sim::FailQuery(u"Win32_NetworkAdapterConfiguration", WBEM_E_FAILED);
        sim::StartWmiQueryLog();
        HardwareInfo info;
        Collect(info);
        std::vector<std::string> names;
        for (const NetworkAdapter& adapter : info.NetworkAdapters) names.push_back(Utf8(adapter.Name));
        EXPECT_EQ(names, (std::vector<std::string>{"both", "index only", "neither", "absent interface index",
                                                   "high"}));
        std::vector<std::u16string> joins;
        for (const sim::WmiQueryRecord& query : sim::TakeWmiQueryLog())
            if (query.wql.starts_with(config)) joins.push_back(query.wql.substr(config.size()));
        EXPECT_EQ(joins, (std::vector<std::u16string>{u"InterfaceIndex = 12", u"Index = 7",
                                                      u"InterfaceIndex = 2147483648"}));
        // The first configuration row only; a failing query leaves the addresses empty.
        const cli::Json json = info;
        const cli::Json expected = cli::Json::parse(
            configurationFails
                ? R"([["",[],[]],["",[],[]]])"
                : R"([["first",["10.0.0.5","10.0.0.6","fe80::1"],["10.0.0.1"]],["by index",[],[]]])");
        for (std::size_t i = 0; i < 2; ++i) {
            const cli::Json& adapter = json["NetworkAdapters"][i];
            EXPECT_EQ((cli::Json{adapter["DNSHostName"], adapter["IPAddress"], adapter["DHCPServer"]}),
                      expected[i]);
        }
    }
}

}  // namespace
}  // namespace hostlens::test
