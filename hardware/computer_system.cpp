// The computer system's identity and whether its chassis is a portable one.
#include "frame/trace.h"
#include "hardware/collectors.h"
#include "hardware/field_table.h"
#include "frame/runtime_numbers.h"

HL_TRACE_MODULE("hardware/computer_system")

namespace hostlens::hardware {
namespace {

const Field<HardwareInfo> kComputerSystem[] = {
    {W("Manufacturer"), &HardwareInfo::Manufacturer},
    {W("Model"), &HardwareInfo::Model},
    {W("SystemType"), &HardwareInfo::SystemType},
};

// Laptop, notebook, hand held, docking station, all in one and sub notebook; a
// portable (13) does not count.
bool IsPortableChassis(int type) {
    return (type >= 8 && type <= 12) || type == 14;
}

}  // namespace

bool CollectComputerSystem(IWmiMng* wmi, HardwareInfo& info) {
    std::vector<WmiRow> rows;
    if (!RunQuery(wmi, QueryFor<HardwareInfo>(W("SELECT * FROM Win32_ComputerSystem"), kComputerSystem),
                  rows))
        return false;
    info.SystemType.clear();
    info.Model.clear();
    info.Manufacturer.clear();
    if (!rows.empty()) ReadFields<HardwareInfo>(rows.front(), kComputerSystem, info);
    return !info.SystemType.empty() || !info.Model.empty() || !info.Manufacturer.empty();
}

bool CollectChassis(IWmiMng* wmi, bool& isPortable) {
    if (wmi == nullptr) {
        TRACE_ERROR();
        return false;
    }
    wmi->SetNamespace(W("ROOT\\CIMV2"));
    WmiQuery query;
    query.Query = W("SELECT ChassisTypes FROM Win32_SystemEnclosure");
    query.IncludeEmpty = true;
    query.Properties[0] = W("ChassisTypes");
    std::vector<WmiStringRow> rows;
    DWORD result = wmi->QueryAsStrings(query, rows);
    if (result != 0) {
        TRACE_ERROR(result);
        return false;
    }
    // An array arrives as its elements joined by " | ": only an enclosure's first
    // chassis type is read.
    for (const WmiStringRow& row : rows) {
        auto types = row.find(W("ChassisTypes"));
        if (types != row.end() && IsPortableChassis(runtime::WideToInt(types->second.c_str())))
            isPortable = true;
    }
    return true;
}

}  // namespace hostlens::hardware
