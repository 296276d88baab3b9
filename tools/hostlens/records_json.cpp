#include "tools/hostlens/records_json.h"

#include <cstdio>
#include <iterator>
#include <vector>

#include "tools/hostlens/text.h"

using hostlens::cli::Json;
using hostlens::cli::Utf8;
using hostlens::cli::Utf8Bounded;

namespace {

Json Text(const WString& text) {
    return Utf8(text);
}

Json Texts(const std::vector<WString>& texts) {
    Json list = Json::array();
    for (const WString& text : texts) list.push_back(Utf8(text));
    return list;
}

template <class Value>
Json Optional(const Value& value, bool present) {
    return present ? Json(value) : Json(nullptr);
}

Json OptionalText(const WString& text, bool valid) {
    return valid ? Text(text) : Json(nullptr);
}

}  // namespace

void to_json(Json& json, const SYSTEMTIME& time) {
    if (time.wYear == 0 && time.wMonth == 0 && time.wDayOfWeek == 0 && time.wDay == 0 && time.wHour == 0 &&
        time.wMinute == 0 && time.wSecond == 0 && time.wMilliseconds == 0) {
        json = nullptr;
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", unsigned{time.wYear},
                  unsigned{time.wMonth}, unsigned{time.wDay}, unsigned{time.wHour}, unsigned{time.wMinute},
                  unsigned{time.wSecond}, unsigned{time.wMilliseconds});
    json = text;
}

void to_json(Json& json, const SYSTEM_POWER_STATUS& status) {
    // Bound by position: the fourth byte is SystemStatusFlag in the current Windows
    // headers and still Reserved1 in older ones.
    const auto& [acLineStatus, batteryFlag, batteryLifePercent, systemStatusFlag, batteryLifeTime,
                 batteryFullLifeTime] = status;
    json = Json{{"ACLineStatus", acLineStatus},
                {"BatteryFlag", batteryFlag},
                {"BatteryLifePercent", batteryLifePercent},
                {"SystemStatusFlag", systemStatusFlag},
                {"BatteryLifeTime", batteryLifeTime},
                {"BatteryFullLifeTime", batteryFullLifeTime}};
}

void to_json(Json& json, const ProcessorInfo& processor) {
    json =
        Json{{"DeviceID", Text(processor.DeviceID)},
             {"Manufacturer", Text(processor.Manufacturer)},
             {"Name", Text(processor.Name)},
             {"NumberOfCores", Optional(processor.NumberOfCores, processor.NumberOfCoresPresent)},
             {"NumberOfLogicalProcessors",
              Optional(processor.NumberOfLogicalProcessors, processor.NumberOfLogicalProcessorsPresent)},
             {"MaxClockSpeed", Optional(processor.MaxClockSpeed, processor.MaxClockSpeedPresent)},
             {"CurrentClockSpeed", Optional(processor.CurrentClockSpeed, processor.CurrentClockSpeedPresent)},
             {"ProcessorId", Text(processor.ProcessorId)}};
}

void to_json(Json& json, const MemoryModuleInfo& module) {
    json = Json{{"BankLabel", Text(module.BankLabel)},
                {"DeviceLocator", Text(module.DeviceLocator)},
                {"Manufacturer", Text(module.Manufacturer)},
                {"PartNumber", Text(module.PartNumber)},
                {"Capacity", Optional(module.Capacity, module.CapacityPresent)},
                {"Speed", Optional(module.Speed, module.SpeedPresent)},
                {"SerialNumber", Text(module.SerialNumber)}};
}

void to_json(Json& json, const DiskDriveInfo& drive) {
    json = Json{{"DeviceID", Text(drive.DeviceID)},
                {"Caption", Text(drive.Caption)},
                {"Size", Optional(drive.Size, drive.SizePresent)},
                {"InterfaceType", Text(drive.InterfaceType)},
                {"Partitions", Optional(drive.Partitions, drive.PartitionsPresent)},
                {"FirmwareRevision", Text(drive.FirmwareRevision)},
                {"SerialNumber", Text(drive.SerialNumber)}};
}

void to_json(Json& json, const CDROMDriveInfo& drive) {
    json = Json{
        {"Drive", Text(drive.Drive)}, {"Caption", Text(drive.Caption)}, {"MediaType", Text(drive.MediaType)}};
}

void to_json(Json& json, const BaseBoardInfo& board) {
    json = Json{{"Manufacturer", Text(board.Manufacturer)},
                {"Product", Text(board.Product)},
                {"SerialNumber", Text(board.SerialNumber)}};
}

void to_json(Json& json, const BIOSInfo& bios) {
    json = Json{{"Manufacturer", Text(bios.Manufacturer)},
                {"Caption", Text(bios.Caption)},
                {"BIOSVersion", Texts(bios.BIOSVersion)},
                {"SerialNumber", Text(bios.SerialNumber)}};
}

void to_json(Json& json, const SoundDeviceInfo& device) {
    json = Json{{"Manufacturer", Text(device.Manufacturer)}, {"Caption", Text(device.Caption)}};
}

void to_json(Json& json, const BatteryInfo& battery) {
    json =
        Json{{"DeviceID", Text(battery.DeviceID)},
             {"Name", Text(battery.Name)},
             {"Manufacturer", Text(battery.Manufacturer)},
             {"Location", Text(battery.Location)},
             {"EstimatedChargeRemaining",
              Optional(battery.EstimatedChargeRemaining, battery.EstimatedChargeRemainingPresent)},
             {"EstimatedRunTime", Optional(battery.EstimatedRunTime, battery.EstimatedRunTimePresent)},
             {"Status", Text(battery.Status)},
             {"DesignCapacity", Optional(battery.DesignCapacity, battery.DesignCapacityPresent)},
             {"CapacityMultiplier", Optional(battery.CapacityMultiplier, battery.CapacityMultiplierPresent)},
             {"DesignVoltage", Optional(battery.DesignVoltage, battery.DesignVoltagePresent)},
             {"Chemistry", Optional(battery.Chemistry, battery.ChemistryPresent)}};
}

void to_json(Json& json, const MonitorInfo& monitor) {
    json = Json{{"DeviceID", Text(monitor.DeviceID)},
                {"MonitorManufacturer", Text(monitor.MonitorManufacturer)},
                {"MonitorType", Text(monitor.MonitorType)}};
}

void to_json(Json& json, const VideoControllerInfo& controller) {
    json = Json{
        {"DeviceID", Text(controller.DeviceID)},
        {"Caption", Text(controller.Caption)},
        {"AdapterCompatibility", Text(controller.AdapterCompatibility)},
        {"AdapterRAM", Optional(controller.AdapterRAM, controller.AdapterRAMPresent)},
        {"AdapterDACType", Text(controller.AdapterDACType)},
        {"CurrentHorizontalResolution",
         Optional(controller.CurrentHorizontalResolution, controller.CurrentHorizontalResolutionPresent)},
        {"CurrentVerticalResolution",
         Optional(controller.CurrentVerticalResolution, controller.CurrentVerticalResolutionPresent)},
        {"CurrentRefreshRate", Optional(controller.CurrentRefreshRate, controller.CurrentRefreshRatePresent)},
        {"DriverVersion", Text(controller.DriverVersion)}};
}

void to_json(Json& json, const TpmInfo& tpm) {
    json = Json{
        {"IsActivated_InitialValue",
         Optional(tpm.IsActivated_InitialValue, tpm.IsActivated_InitialValuePresent)},
        {"IsEnabled_InitialValue", Optional(tpm.IsEnabled_InitialValue, tpm.IsEnabled_InitialValuePresent)},
        {"IsOwned_InitialValue", Optional(tpm.IsOwned_InitialValue, tpm.IsOwned_InitialValuePresent)},
        {"SpecVersion", Text(tpm.SpecVersion)},
        {"ManufacturerVersion", Text(tpm.ManufacturerVersion)},
        {"ManufacturerIdTxt", Text(tpm.ManufacturerIdTxt)},
        {"PhysicalPresenceVersionInfo", Text(tpm.PhysicalPresenceVersionInfo)}};
}

void to_json(Json& json, const NetworkAdapter& adapter) {
    json = Json{{"DeviceID", Text(adapter.DeviceID)},
                {"Manufacturer", Text(adapter.Manufacturer)},
                {"Name", Text(adapter.Name)},
                {"AdapterType", Text(adapter.AdapterType)},
                {"Speed", Optional(adapter.Speed, adapter.SpeedPresent)},
                {"MACAddress", Text(adapter.MACAddress)},
                {"DNSHostName", Text(adapter.DNSHostName)},
                {"DNSDomain", Text(adapter.DNSDomain)},
                {"IPAddress", Texts(adapter.IPAddress)},
                {"IPSubnet", Texts(adapter.IPSubnet)},
                {"DNSServerSearchOrder", Texts(adapter.DNSServerSearchOrder)},
                {"DefaultIPGateway", Texts(adapter.DefaultIPGateway)},
                {"DHCPServer", Texts(adapter.DHCPServer)}};
}

void to_json(Json& json, const HardwareInfo& info) {
    json = Json{{"SystemType", Text(info.SystemType)},
                {"Model", Text(info.Model)},
                {"Manufacturer", Text(info.Manufacturer)},
                {"Processors", info.Processors},
                {"MemoryModules", info.MemoryModules},
                {"DiskDrives", info.DiskDrives},
                {"CDROMDrives", info.CDROMDrives},
                {"BaseBoards", info.BaseBoards},
                {"BIOSes", info.BIOSes},
                {"SoundDevices", info.SoundDevices},
                {"NetworkAdapters", info.NetworkAdapters},
                {"Batteries", info.Batteries},
                {"Monitors", info.Monitors},
                {"VideoControllers", info.VideoControllers},
                {"TpmModules", info.TpmModules},
                {"IsPortable", info.IsPortable}};
}

void to_json(Json& json, const SoftwareEntry& entry) {
    json = Json{{"DisplayName", Text(entry.DisplayName)},       {"Publisher", Text(entry.Publisher)},
                {"DisplayVersion", Text(entry.DisplayVersion)}, {"InstallDate", entry.InstallDate},
                {"EstimatedSize", entry.EstimatedSize},         {"IsUpdate", entry.IsUpdate},
                {"ParentName", Text(entry.ParentName)}};
}

void to_json(Json& json, const ProxySettings& settings) {
    json = Json{{"ProxyEnable", settings.ProxyEnable},
                {"ProxyServer", Utf8Bounded(settings.ProxyServer, std::size(settings.ProxyServer))},
                {"ProxyOverride", Utf8Bounded(settings.ProxyOverride, std::size(settings.ProxyOverride))},
                {"ProxyValue9012", Utf8Bounded(settings.ProxyValue9012, std::size(settings.ProxyValue9012))},
                {"ProxyValue9013", Utf8Bounded(settings.ProxyValue9013, std::size(settings.ProxyValue9013))}};
}

void to_json(Json& json, const ActiveDirectoryInfo& info) {
    json = Json{{"distinguishedName", Text(info.distinguishedName)}, {"objectGUID", Text(info.objectGUID)}};
}

void to_json(Json& json, const ExchangeInfo& info) {
    json = Json{{"ExchangeVersionCode", info.ExchangeVersionCode},
                {"ExchangeVersion", Text(info.ExchangeVersion)},
                {"ExchangeServices", info.ExchangeServices},
                {"MailboxCount", info.MailboxCount}};
}

namespace Hostlens {

void to_json(Json& json, const LocationInfo& info) {
    json = Json{{"Latitude", Optional(info.Latitude, info.LatitudeValid)},
                {"Longitude", Optional(info.Longitude, info.LongitudeValid)},
                {"ErrorRadius", Optional(info.ErrorRadius, info.ErrorRadiusValid)},
                {"Altitude", Optional(info.Altitude, info.AltitudeValid)},
                {"AltitudeError", Optional(info.AltitudeError, info.AltitudeErrorValid)},
                {"CountryRegion", OptionalText(info.CountryRegion, info.CountryRegionValid)},
                {"StateProvince", OptionalText(info.StateProvince, info.StateProvinceValid)},
                {"City", OptionalText(info.City, info.CityValid)},
                {"PostalCode", OptionalText(info.PostalCode, info.PostalCodeValid)},
                {"AddressLine1", OptionalText(info.AddressLine1, info.AddressLine1Valid)},
                {"AddressLine2", OptionalText(info.AddressLine2, info.AddressLine2Valid)}};
}

}  // namespace Hostlens

void to_json(Json& json, const OperatingSystemRecord& record) {
    json = Json{{"VersionCode", record.VersionCode},
                {"EditionCode", record.EditionCode},
                {"Architecture", record.Architecture},
                {"IsWindows", record.IsWindows},
                {"IsServer", record.IsServer},
                {"IsPersonal", record.IsPersonal},
                {"IsStarter", record.IsStarter},
                {"IsMediaCenter", record.IsMediaCenter},
                {"IsTabletPC", record.IsTabletPC},
                {"IsServerCore", record.IsServerCore},
                {"ServicePackMajor", record.ServicePackMajor},
                {"ReleaseId", record.ReleaseId},
                {"DisplayVersion", Text(record.DisplayVersion)},
                {"ProductName", Text(record.ProductName)},
                {"FullName", Text(record.FullName)}};
}
