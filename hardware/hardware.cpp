#include "hardware/hardware.h"

#include <exception>

#include "frame/trace.h"
#include "hardware/adapters_without_wmi.h"
#include "hardware/collectors.h"
#include "hardware/network_adapters.h"
#include "wmi/wmi_mng_owner.h"

HL_TRACE_MODULE("hardware/hardware")

namespace {

using namespace hostlens::hardware;
using hostlens::trace::kError;
using hostlens::trace::kInformation;

constexpr DWORD kNothingFound = 0x80070490;  // ERROR_NOT_FOUND as an HRESULT

// The collectors in the order they run, which is not the record's order. Absent
// hardware (CD-ROM, sound, battery, monitor, video) is ordinary and traced as
// information only.
struct Collector {
    int place;  // in the run, as the trace points say it
    bool (*collect)(IWmiMng* wmi, HardwareInfo& info);
    UCHAR level;                // of the trace when the collector gives nothing
    const WCHAR* wmiNamespace;  // switched to before the collector runs, when set
};

const Collector kCollectors[] = {
    {1, [](IWmiMng* wmi, HardwareInfo& info) { return CollectComputerSystem(wmi, info); }, kError, nullptr},
    {2, [](IWmiMng* wmi, HardwareInfo& info) { return CollectChassis(wmi, info.IsPortable); }, kError,
     nullptr},
    {3, [](IWmiMng* wmi, HardwareInfo& info) { return CollectProcessors(wmi, info.Processors); }, kError,
     nullptr},
    {4, [](IWmiMng* wmi, HardwareInfo& info) { return CollectDiskDrives(wmi, info.DiskDrives); },
     kInformation, nullptr},
    {5, [](IWmiMng* wmi, HardwareInfo& info) { return CollectMemoryModules(wmi, info.MemoryModules); },
     kError, nullptr},
    {6, [](IWmiMng* wmi, HardwareInfo& info) { return CollectCDROMDrives(wmi, info.CDROMDrives); },
     kInformation, nullptr},
    {7, [](IWmiMng* wmi, HardwareInfo& info) { return CollectBaseBoards(wmi, info.BaseBoards); }, kError,
     nullptr},
    {8, [](IWmiMng* wmi, HardwareInfo& info) { return CollectBIOSes(wmi, info.BIOSes); }, kError, nullptr},
    {9, [](IWmiMng* wmi, HardwareInfo& info) { return CollectSoundDevices(wmi, info.SoundDevices); },
     kInformation, nullptr},
    {10, [](IWmiMng* wmi, HardwareInfo& info) { return CollectNetworkAdapters(wmi, info.NetworkAdapters); },
     kInformation, nullptr},
    {11, [](IWmiMng* wmi, HardwareInfo& info) { return CollectBatteries(wmi, info.Batteries); }, kInformation,
     nullptr},
    {12, [](IWmiMng* wmi, HardwareInfo& info) { return CollectMonitors(wmi, info.Monitors); }, kInformation,
     nullptr},
    {13, [](IWmiMng* wmi, HardwareInfo& info) { return CollectVideoControllers(wmi, info.VideoControllers); },
     kInformation, nullptr},
    {14, [](IWmiMng* wmi, HardwareInfo& info) { return CollectTpmModules(wmi, info.TpmModules); }, kError,
     W("ROOT\\CIMV2\\Security\\MicrosoftTpm")},
};
constexpr int kWmiAdapters = 10;  // the place of the adapters from WMI

// One collector. An exception (out of memory, an array WMI handed over that cannot be
// read) ends that collector alone; the agent's process must never see it.
bool Run(const Collector& collector, IWmiMng* wmi, HardwareInfo& info) {
    bool collected = false;
    try {
        collected = collector.collect(wmi, info);
    } catch (const std::exception&) {
        TRACE_CRITICAL(collector.place);
    }
    if (!collected) HL_TRACE(hostlens::trace::kGeneral, collector.level, collector.place);
    return collected;
}

bool IsEmpty(const HardwareInfo& info) {
    return info.SystemType.empty() && info.Model.empty() && info.Manufacturer.empty() &&
           info.Processors.empty() && info.MemoryModules.empty() && info.DiskDrives.empty() &&
           info.CDROMDrives.empty() && info.BaseBoards.empty() && info.BIOSes.empty() &&
           info.SoundDevices.empty() && info.NetworkAdapters.empty() && info.Batteries.empty() &&
           info.Monitors.empty() && info.VideoControllers.empty() && info.TpmModules.empty();
}

}  // namespace

DWORD CHardware::GetHardwareInfo(HardwareInfo& info) {
    hostlens::WmiMngOwner wmi = hostlens::MakeWmiMng(logger_);
    if (!wmi) {
        TRACE_ERROR();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    // A failed connection shows up as failing queries.
    wmi->SetNamespace(W("ROOT\\CIMV2"));
    info = HardwareInfo{};
    for (const Collector& collector : kCollectors) {
        if (collector.wmiNamespace != nullptr) wmi->SetNamespace(collector.wmiNamespace);
        if (Run(collector, wmi.get(), info) || collector.place != kWmiAdapters) continue;
        bool collected = false;
        try {
            collected = CollectAdaptersWithoutWmi(info.NetworkAdapters);
        } catch (const std::exception&) {
            TRACE_CRITICAL();
        }
        if (!collected) TRACE_INFO();
    }
    // Whether the chassis is portable says nothing about what was found.
    return IsEmpty(info) ? kNothingFound : ERROR_SUCCESS;
}
