// The collectors whose class gives one sub-record per row, each a table of the
// properties it reads.
#include "hardware/collectors.h"
#include "hardware/field_table.h"

namespace hostlens::hardware {
namespace {

using P = ProcessorInfo;
const Field<P> kProcessor[] = {
    {W("DeviceID"), &P::DeviceID},
    {W("Manufacturer"), &P::Manufacturer},
    {W("Name"), &P::Name},
    {W("NumberOfCores"), Opt(&P::NumberOfCores, &P::NumberOfCoresPresent)},
    {W("NumberOfLogicalProcessors"),
     Opt(&P::NumberOfLogicalProcessors, &P::NumberOfLogicalProcessorsPresent)},
    {W("MaxClockSpeed"), Opt(&P::MaxClockSpeed, &P::MaxClockSpeedPresent)},
    {W("CurrentClockSpeed"), Opt(&P::CurrentClockSpeed, &P::CurrentClockSpeedPresent)},
    {W("ProcessorId"), &P::ProcessorId},
};

using D = DiskDriveInfo;
const Field<D> kDiskDrive[] = {
    {W("DeviceID"), &D::DeviceID},
    {W("Caption"), &D::Caption},
    {W("Size"), Opt(&D::Size, &D::SizePresent)},
    {W("InterfaceType"), &D::InterfaceType},
    {W("Partitions"), Opt(&D::Partitions, &D::PartitionsPresent)},
    {W("FirmwareRevision"), &D::FirmwareRevision},
    {W("SerialNumber"), &D::SerialNumber},
};

using M = MemoryModuleInfo;
const Field<M> kMemoryModule[] = {
    {W("BankLabel"), &M::BankLabel},
    {W("DeviceLocator"), &M::DeviceLocator},
    {W("Manufacturer"), &M::Manufacturer},
    {W("PartNumber"), &M::PartNumber},
    {W("Capacity"), Opt(&M::Capacity, &M::CapacityPresent)},
    {W("Speed"), Opt(&M::Speed, &M::SpeedPresent)},
    {W("SerialNumber"), &M::SerialNumber},
};

const Field<CDROMDriveInfo> kCDROMDrive[] = {
    {W("Drive"), &CDROMDriveInfo::Drive},
    {W("Caption"), &CDROMDriveInfo::Caption},
    {W("MediaType"), &CDROMDriveInfo::MediaType},
};

const Field<BaseBoardInfo> kBaseBoard[] = {
    {W("Manufacturer"), &BaseBoardInfo::Manufacturer},
    {W("Product"), &BaseBoardInfo::Product},
    {W("SerialNumber"), &BaseBoardInfo::SerialNumber},
};

const Field<BIOSInfo> kBIOS[] = {
    {W("Manufacturer"), &BIOSInfo::Manufacturer},
    {W("Caption"), &BIOSInfo::Caption},
    {W("BIOSVersion"), &BIOSInfo::BIOSVersion},
    {W("SerialNumber"), &BIOSInfo::SerialNumber},
};

const Field<SoundDeviceInfo> kSoundDevice[] = {
    {W("Manufacturer"), &SoundDeviceInfo::Manufacturer},
    {W("Caption"), &SoundDeviceInfo::Caption},
};

const Field<MonitorInfo> kMonitor[] = {
    {W("DeviceID"), &MonitorInfo::DeviceID},
    {W("MonitorManufacturer"), &MonitorInfo::MonitorManufacturer},
    {W("MonitorType"), &MonitorInfo::MonitorType},
};

using V = VideoControllerInfo;
const Field<V> kVideoController[] = {
    {W("DeviceID"), &V::DeviceID},
    {W("AdapterCompatibility"), &V::AdapterCompatibility},
    {W("Caption"), &V::Caption},
    {W("AdapterRAM"), Opt(&V::AdapterRAM, &V::AdapterRAMPresent)},
    {W("AdapterDACType"), &V::AdapterDACType},
    {W("CurrentHorizontalResolution"),
     Opt(&V::CurrentHorizontalResolution, &V::CurrentHorizontalResolutionPresent)},
    {W("CurrentVerticalResolution"),
     Opt(&V::CurrentVerticalResolution, &V::CurrentVerticalResolutionPresent)},
    {W("CurrentRefreshRate"), Opt(&V::CurrentRefreshRate, &V::CurrentRefreshRatePresent)},
    {W("DriverVersion"), &V::DriverVersion},
};

}  // namespace

bool CollectProcessors(IWmiMng* wmi, std::vector<ProcessorInfo>& list) {
    return CollectList<ProcessorInfo>(wmi, W("SELECT * FROM Win32_Processor"), kProcessor, list);
}

bool CollectDiskDrives(IWmiMng* wmi, std::vector<DiskDriveInfo>& list) {
    return CollectList<DiskDriveInfo>(wmi, W("SELECT * FROM Win32_DiskDrive"), kDiskDrive, list);
}

bool CollectMemoryModules(IWmiMng* wmi, std::vector<MemoryModuleInfo>& list) {
    return CollectList<MemoryModuleInfo>(wmi, W("SELECT * FROM Win32_PhysicalMemory"), kMemoryModule, list);
}

bool CollectCDROMDrives(IWmiMng* wmi, std::vector<CDROMDriveInfo>& list) {
    return CollectList<CDROMDriveInfo>(wmi, W("SELECT * FROM Win32_CDROMDrive"), kCDROMDrive, list);
}

bool CollectBaseBoards(IWmiMng* wmi, std::vector<BaseBoardInfo>& list) {
    return CollectList<BaseBoardInfo>(wmi, W("SELECT * FROM Win32_BaseBoard"), kBaseBoard, list);
}

bool CollectBIOSes(IWmiMng* wmi, std::vector<BIOSInfo>& list) {
    return CollectList<BIOSInfo>(wmi, W("SELECT * FROM Win32_BIOS"), kBIOS, list);
}

bool CollectSoundDevices(IWmiMng* wmi, std::vector<SoundDeviceInfo>& list) {
    return CollectList<SoundDeviceInfo>(wmi, W("SELECT * FROM Win32_SoundDevice"), kSoundDevice, list);
}

bool CollectMonitors(IWmiMng* wmi, std::vector<MonitorInfo>& list) {
    // Only monitors that run, report no configuration error or have a known screen size.
    return CollectList<MonitorInfo>(wmi,
                                    W("SELECT * FROM Win32_DesktopMonitor WHERE (Availability = 3) OR "
                                      "(ConfigManagerErrorCode = 0) OR (ScreenHeight IS NOT NULL AND "
                                      "ScreenWidth IS NOT NULL)"),
                                    kMonitor, list);
}

bool CollectVideoControllers(IWmiMng* wmi, std::vector<VideoControllerInfo>& list) {
    return CollectList<VideoControllerInfo>(wmi, W("SELECT * FROM Win32_VideoController"), kVideoController,
                                            list);
}

}  // namespace hostlens::hardware
