// The collectors that fill the hardware record, one per WMI class (network adapters:
// network_adapters.h). Each takes the call's WMI manager, which may be null, and the
// member it fills, and returns false when it collected nothing; a null manager or a
// failing query is traced at error level and leaves the member as it was.
#pragma once

#include <vector>

#include "hostlens/Hardware.h"
#include "hostlens/WmiMng.h"

namespace hostlens::hardware {

// SystemType, Model and Manufacturer from the first Win32_ComputerSystem row.
bool CollectComputerSystem(IWmiMng* wmi, HardwareInfo& info);
// Sets (never clears) `isPortable` when the first chassis type of an enclosure is a
// portable one; true exactly when the query succeeded.
bool CollectChassis(IWmiMng* wmi, bool& isPortable);

bool CollectProcessors(IWmiMng* wmi, std::vector<ProcessorInfo>& list);
bool CollectDiskDrives(IWmiMng* wmi, std::vector<DiskDriveInfo>& list);
bool CollectMemoryModules(IWmiMng* wmi, std::vector<MemoryModuleInfo>& list);
bool CollectCDROMDrives(IWmiMng* wmi, std::vector<CDROMDriveInfo>& list);
bool CollectBaseBoards(IWmiMng* wmi, std::vector<BaseBoardInfo>& list);
bool CollectBIOSes(IWmiMng* wmi, std::vector<BIOSInfo>& list);
bool CollectSoundDevices(IWmiMng* wmi, std::vector<SoundDeviceInfo>& list);
bool CollectMonitors(IWmiMng* wmi, std::vector<MonitorInfo>& list);
bool CollectVideoControllers(IWmiMng* wmi, std::vector<VideoControllerInfo>& list);

// Win32_PortableBattery, each battery completed from its Win32_Battery row.
bool CollectBatteries(IWmiMng* wmi, std::vector<BatteryInfo>& list);
// Win32_Tpm, in the namespace the manager works in.
bool CollectTpmModules(IWmiMng* wmi, std::vector<TpmInfo>& list);

}  // namespace hostlens::hardware
