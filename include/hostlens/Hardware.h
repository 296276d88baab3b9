// The hardware record. An optional number is a value followed by its present flag;
// both stay 0/false when the platform did not deliver the value.
#pragma once

#include <vector>

#include "platform/win32.h"

struct ProcessorInfo {
    WString DeviceID;
    WString Manufacturer;
    WString Name;
    DWORD NumberOfCores = 0;
    bool NumberOfCoresPresent = false;
    DWORD NumberOfLogicalProcessors = 0;
    bool NumberOfLogicalProcessorsPresent = false;
    DWORD MaxClockSpeed = 0;  // MHz
    bool MaxClockSpeedPresent = false;
    DWORD CurrentClockSpeed = 0;  // MHz
    bool CurrentClockSpeedPresent = false;
    WString ProcessorId;
};

struct MemoryModuleInfo {
    WString BankLabel;
    WString DeviceLocator;
    WString Manufacturer;
    WString PartNumber;
    ULONGLONG Capacity = 0;  // bytes
    bool CapacityPresent = false;
    DWORD Speed = 0;
    bool SpeedPresent = false;
    WString SerialNumber;
};

struct DiskDriveInfo {
    WString DeviceID;
    WString Caption;
    ULONGLONG Size = 0;  // bytes
    bool SizePresent = false;
    WString InterfaceType;
    DWORD Partitions = 0;
    bool PartitionsPresent = false;
    WString FirmwareRevision;
    WString SerialNumber;
};

struct CDROMDriveInfo {
    WString Drive;
    WString Caption;
    WString MediaType;
};

struct BaseBoardInfo {
    WString Manufacturer;
    WString Product;
    WString SerialNumber;
};

struct BIOSInfo {
    WString Manufacturer;
    WString Caption;
    std::vector<WString> BIOSVersion;
    WString SerialNumber;
};

struct SoundDeviceInfo {
    WString Manufacturer;
    WString Caption;
};

struct BatteryInfo {
    WString DeviceID;
    WString Name;
    WString Manufacturer;
    WString Location;
    WORD EstimatedChargeRemaining = 0;  // percent
    bool EstimatedChargeRemainingPresent = false;
    DWORD EstimatedRunTime = 0;  // minutes
    bool EstimatedRunTimePresent = false;
    WString Status;
    DWORD DesignCapacity = 0;
    bool DesignCapacityPresent = false;
    WORD CapacityMultiplier = 0;
    bool CapacityMultiplierPresent = false;
    ULONGLONG DesignVoltage = 0;
    bool DesignVoltagePresent = false;
    WORD Chemistry = 0;  // the WMI code
    bool ChemistryPresent = false;
};

struct MonitorInfo {
    WString DeviceID;
    WString MonitorManufacturer;
    WString MonitorType;
};

struct VideoControllerInfo {
    WString DeviceID;
    WString Caption;
    WString AdapterCompatibility;
    DWORD AdapterRAM = 0;  // bytes
    bool AdapterRAMPresent = false;
    WString AdapterDACType;
    DWORD CurrentHorizontalResolution = 0;
    bool CurrentHorizontalResolutionPresent = false;
    DWORD CurrentVerticalResolution = 0;
    bool CurrentVerticalResolutionPresent = false;
    DWORD CurrentRefreshRate = 0;
    bool CurrentRefreshRatePresent = false;
    WString DriverVersion;
};

struct TpmInfo {
    bool IsActivated_InitialValue = false;
    bool IsActivated_InitialValuePresent = false;
    bool IsEnabled_InitialValue = false;
    bool IsEnabled_InitialValuePresent = false;
    bool IsOwned_InitialValue = false;
    bool IsOwned_InitialValuePresent = false;
    WString SpecVersion;
    WString ManufacturerVersion;
    WString ManufacturerIdTxt;
    WString PhysicalPresenceVersionInfo;
};

struct NetworkAdapter {
    WString DeviceID;
    WString Manufacturer;
    WString Name;
    WString AdapterType;
    ULONGLONG Speed = 0;  // bits per second
    bool SpeedPresent = false;
    WString MACAddress;
    WString DNSHostName;
    WString DNSDomain;
    std::vector<WString> IPAddress;
    std::vector<WString> IPSubnet;
    std::vector<WString> DNSServerSearchOrder;
    std::vector<WString> DefaultIPGateway;
    std::vector<WString> DHCPServer;
};

struct HardwareInfo {
    WString SystemType;
    WString Model;
    WString Manufacturer;
    std::vector<ProcessorInfo> Processors;
    std::vector<MemoryModuleInfo> MemoryModules;
    std::vector<DiskDriveInfo> DiskDrives;
    std::vector<CDROMDriveInfo> CDROMDrives;
    std::vector<BaseBoardInfo> BaseBoards;
    std::vector<BIOSInfo> BIOSes;
    std::vector<SoundDeviceInfo> SoundDevices;
    std::vector<NetworkAdapter> NetworkAdapters;
    std::vector<BatteryInfo> Batteries;
    std::vector<MonitorInfo> Monitors;
    std::vector<VideoControllerInfo> VideoControllers;
    std::vector<TpmInfo> TpmModules;
    bool IsPortable = false;
};

class IHardware {
public:
    virtual ~IHardware() = default;
    // 0; 0x80070490 when nothing at all was found; 8 when no WMI manager can be made.
    virtual DWORD GetHardwareInfo(HardwareInfo& info) = 0;
};
