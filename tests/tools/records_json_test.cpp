// The records as the command line prints them: exact field names, optional values as
// null, dates as ISO 8601 or null, wide text as UTF-8.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/hostlens/records_json.h"

namespace {

using hostlens::cli::Json;

std::vector<std::string> Keys(const Json& object) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : object.items()) keys.push_back(key);
    return keys;
}

TEST(RecordsJson, MembersAreTheRecordFieldsInOrderWithoutFlags) {
    struct Case {
        const char* record;
        Json json;
        std::vector<std::string> keys;
    };
    const Case cases[] = {
        {"SYSTEM_POWER_STATUS",
         SYSTEM_POWER_STATUS{},
         {"ACLineStatus", "BatteryFlag", "BatteryLifePercent", "SystemStatusFlag", "BatteryLifeTime",
          "BatteryFullLifeTime"}},
        {"HardwareInfo",
         HardwareInfo{},
         {"SystemType", "Model", "Manufacturer", "Processors", "MemoryModules", "DiskDrives", "CDROMDrives",
          "BaseBoards", "BIOSes", "SoundDevices", "NetworkAdapters", "Batteries", "Monitors",
          "VideoControllers", "TpmModules", "IsPortable"}},
        {"ProcessorInfo",
         ProcessorInfo{},
         {"DeviceID", "Manufacturer", "Name", "NumberOfCores", "NumberOfLogicalProcessors", "MaxClockSpeed",
          "CurrentClockSpeed", "ProcessorId"}},
        {"MemoryModuleInfo",
         MemoryModuleInfo{},
         {"BankLabel", "DeviceLocator", "Manufacturer", "PartNumber", "Capacity", "Speed", "SerialNumber"}},
        {"DiskDriveInfo",
         DiskDriveInfo{},
         {"DeviceID", "Caption", "Size", "InterfaceType", "Partitions", "FirmwareRevision", "SerialNumber"}},
        {"CDROMDriveInfo", CDROMDriveInfo{}, {"Drive", "Caption", "MediaType"}},
        {"BaseBoardInfo", BaseBoardInfo{}, {"Manufacturer", "Product", "SerialNumber"}},
        {"BIOSInfo", BIOSInfo{}, {"Manufacturer", "Caption", "BIOSVersion", "SerialNumber"}},
        {"SoundDeviceInfo", SoundDeviceInfo{}, {"Manufacturer", "Caption"}},
        {"BatteryInfo",
         BatteryInfo{},
         {"DeviceID", "Name", "Manufacturer", "Location", "EstimatedChargeRemaining", "EstimatedRunTime",
          "Status", "DesignCapacity", "CapacityMultiplier", "DesignVoltage", "Chemistry"}},
        {"MonitorInfo", MonitorInfo{}, {"DeviceID", "MonitorManufacturer", "MonitorType"}},
        {"VideoControllerInfo",
         VideoControllerInfo{},
         {"DeviceID", "Caption", "AdapterCompatibility", "AdapterRAM", "AdapterDACType",
          "CurrentHorizontalResolution", "CurrentVerticalResolution", "CurrentRefreshRate", "DriverVersion"}},
        {"TpmInfo",
         TpmInfo{},
         {"IsActivated_InitialValue", "IsEnabled_InitialValue", "IsOwned_InitialValue", "SpecVersion",
          "ManufacturerVersion", "ManufacturerIdTxt", "PhysicalPresenceVersionInfo"}},
        {"NetworkAdapter",
         NetworkAdapter{},
         {"DeviceID", "Manufacturer", "Name", "AdapterType", "Speed", "MACAddress", "DNSHostName",
          "DNSDomain", "IPAddress", "IPSubnet", "DNSServerSearchOrder", "DefaultIPGateway", "DHCPServer"}},
        {"SoftwareEntry",
         SoftwareEntry{},
         {"DisplayName", "Publisher", "DisplayVersion", "InstallDate", "EstimatedSize", "IsUpdate",
          "ParentName"}},
        {"ProxySettings",
         ProxySettings{},
         {"ProxyEnable", "ProxyServer", "ProxyOverride", "ProxyValue9012", "ProxyValue9013"}},
        {"ActiveDirectoryInfo", ActiveDirectoryInfo{}, {"distinguishedName", "objectGUID"}},
        {"ExchangeInfo",
         ExchangeInfo{},
         {"ExchangeVersionCode", "ExchangeVersion", "ExchangeServices", "MailboxCount"}},
        {"LocationInfo",
         Hostlens::LocationInfo{},
         {"Latitude", "Longitude", "ErrorRadius", "Altitude", "AltitudeError", "CountryRegion",
          "StateProvince", "City", "PostalCode", "AddressLine1", "AddressLine2"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Keys(c.json), c.keys) << c.record;
}

TEST(RecordsJson, OptionalValuesAreNullUnlessPresent) {
    HardwareInfo info;
    info.Manufacturer = W("Contoso");
    ProcessorInfo processor;
    processor.NumberOfCores = 8;
    processor.NumberOfCoresPresent = true;
    processor.NumberOfLogicalProcessors = 16;  // not read: the value is not shown
    processor.MaxClockSpeed = 0;
    processor.MaxClockSpeedPresent = true;  // read as 0: shown as 0
    info.Processors.push_back(processor);
    MemoryModuleInfo memory;
    memory.Capacity = 17179869184ULL;
    memory.CapacityPresent = true;
    info.MemoryModules.push_back(memory);
    TpmInfo tpm;
    tpm.IsActivated_InitialValue = false;
    tpm.IsActivated_InitialValuePresent = true;
    tpm.IsEnabled_InitialValue = true;
    info.TpmModules.push_back(tpm);
    BIOSInfo bios;
    bios.BIOSVersion = {W("DELL   - 1072009"), W("1.2.3")};
    info.BIOSes.push_back(bios);
    info.IsPortable = true;
    Json json = info;

    struct Case {
        const char* pointer;
        Json expected;
    };
    const Case cases[] = {
        {"/Manufacturer", "Contoso"},
        {"/Model", ""},
        {"/Processors/0/NumberOfCores", 8},
        {"/Processors/0/NumberOfLogicalProcessors", nullptr},
        {"/Processors/0/MaxClockSpeed", 0},
        {"/Processors/0/CurrentClockSpeed", nullptr},
        {"/MemoryModules/0/Capacity", 17179869184ULL},
        {"/MemoryModules/0/Speed", nullptr},
        {"/TpmModules/0/IsActivated_InitialValue", false},
        {"/TpmModules/0/IsEnabled_InitialValue", nullptr},
        {"/TpmModules/0/IsOwned_InitialValue", nullptr},
        {"/BIOSes/0/BIOSVersion", Json::array({"DELL   - 1072009", "1.2.3"})},
        {"/DiskDrives", Json::array()},
        {"/IsPortable", true},
    };
    for (const Case& c : cases) EXPECT_EQ(json.at(Json::json_pointer(c.pointer)), c.expected) << c.pointer;
}

TEST(RecordsJson, LocationValuesAreNullUnlessValid) {
    Hostlens::LocationInfo info;
    info.Latitude = 47.375;
    info.LatitudeValid = true;
    info.Longitude = 8.5;  // not valid: not shown
    info.Altitude = 0;
    info.AltitudeValid = true;
    info.City = W("Z\u00fcrich");
    info.CityValid = true;
    info.PostalCode = W("8001");  // not valid: not shown
    Json json = info;

    struct Case {
        const char* member;
        Json expected;
    };
    const Case cases[] = {
        {"Latitude", 47.375},    {"Longitude", nullptr},  {"ErrorRadius", nullptr},  {"Altitude", 0.0},
        {"City", "Z\u00fcrich"}, {"PostalCode", nullptr}, {"AddressLine1", nullptr},
    };
    for (const Case& c : cases) EXPECT_EQ(json.at(c.member), c.expected) << c.member;
}

TEST(RecordsJson, SystemTimeIsIsoUtcOrNullWhenAllZero) {
    struct Case {
        SYSTEMTIME time;
        Json expected;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 0, 0, 0, 0}, nullptr},
        {{2024, 3, 4, 7, 9, 5, 3, 42}, "2024-03-07T09:05:03.042Z"},
        {{1999, 12, 5, 31, 23, 59, 59, 999}, "1999-12-31T23:59:59.999Z"},
        // Not all zero: printed as it is, even when it is no real date.
        {{0, 0, 0, 0, 0, 0, 0, 1}, "0000-00-00T00:00:00.001Z"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Json(c.time), c.expected) << c.expected.dump();
        SoftwareEntry entry;
        entry.InstallDate = c.time;
        EXPECT_EQ(Json(entry).at("InstallDate"), c.expected);
    }
}

TEST(RecordsJson, WideTextIsUtf8) {
    struct Case {
        WString text;
        std::string expected;
    };
    const Case cases[] = {
        {W("CN=WS01,OU=Desks,DC=corp,DC=example"), "CN=WS01,OU=Desks,DC=corp,DC=example"},
        {W("Caf\u00e9 M\u00fcller"), "Caf\xc3\xa9 M\xc3\xbcller"},
        {W("\u65e5\u672c\u8a9e"), "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e"},
        {W("\U0001F600"), "\xf0\x9f\x98\x80"},                               // a surrogate pair
        {WString(1, static_cast<WCHAR>(0xD83D)) + W("x"), "\xef\xbf\xbdx"},  // unpaired high surrogate
        {W("x") + WString(1, static_cast<WCHAR>(0xDE00)), "x\xef\xbf\xbd"},  // unpaired low surrogate
        {WString(W("a\0b"), 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        ActiveDirectoryInfo info;
        info.distinguishedName = c.text;
        Json json = info;
        EXPECT_EQ(json.at("distinguishedName").get<std::string>(), c.expected) << c.expected;
        // What is printed reads back as the same text.
        EXPECT_EQ(Json::parse(json.dump()).at("distinguishedName").get<std::string>(), c.expected);
    }
}

TEST(RecordsJson, ProxyTextsEndAtTheirFirstNulOrTheirField) {
    ProxySettings settings{};
    settings.ProxyEnable = true;
    for (WCHAR& c : settings.ProxyServer) c = W('p');  // no NUL at all
    const WString bypass = W("*.corp.example;<local>");
    bypass.copy(settings.ProxyOverride, bypass.size());
    settings.ProxyOverride[bypass.size() + 1] = W('x');  // after the NUL: not part of the text
    Json json = settings;

    EXPECT_EQ(json.at("ProxyEnable"), true);
    EXPECT_EQ(json.at("ProxyServer").get<std::string>(), std::string(std::size(settings.ProxyServer), 'p'));
    EXPECT_EQ(json.at("ProxyOverride"), "*.corp.example;<local>");
    EXPECT_EQ(json.at("ProxyValue9012"), "");
}

TEST(RecordsJson, NumbersKeepTheirSignAndWidth) {
    SYSTEM_POWER_STATUS power{1, 8, 255, 0, 0xFFFFFFFF, 7200};
    ExchangeInfo exchange;
    exchange.ExchangeVersionCode = 6;
    exchange.ExchangeVersion = W("15.2.1118.7");
    exchange.ExchangeServices = {1, 2};
    exchange.MailboxCount = -1;
    SoftwareEntry entry;
    entry.EstimatedSize = 0xFFFFFFFFFFFFFFFFULL;
    entry.IsUpdate = true;

    EXPECT_EQ(Json(power), Json::parse(R"({"ACLineStatus":1,"BatteryFlag":8,"BatteryLifePercent":255,
        "SystemStatusFlag":0,"BatteryLifeTime":4294967295,"BatteryFullLifeTime":7200})"));
    EXPECT_EQ(Json(exchange), Json::parse(R"({"ExchangeVersionCode":6,"ExchangeVersion":"15.2.1118.7",
        "ExchangeServices":[1,2],"MailboxCount":-1})"));
    EXPECT_EQ(Json(entry).at("EstimatedSize").dump(), "18446744073709551615");
    EXPECT_EQ(Json(entry).at("IsUpdate"), true);
}

}  // namespace
