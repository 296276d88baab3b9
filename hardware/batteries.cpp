// Batteries: Win32_PortableBattery lists them, and each one's Win32_Battery row of the
// same name adds its charge, run time and status.
#include "hardware/collectors.h"
#include "hardware/field_table.h"

namespace hostlens::hardware {
namespace {

using B = BatteryInfo;
const Field<B> kPortableBattery[] = {
    {W("DeviceID"), &B::DeviceID},
    {W("Name"), &B::Name},
    {W("Manufacturer"), &B::Manufacturer},
    {W("Location"), &B::Location},
    {W("DesignCapacity"), Opt(&B::DesignCapacity, &B::DesignCapacityPresent)},
    {W("CapacityMultiplier"), Opt(&B::CapacityMultiplier, &B::CapacityMultiplierPresent)},
    {W("DesignVoltage"), Opt(&B::DesignVoltage, &B::DesignVoltagePresent)},
    {W("Chemistry"), Opt(&B::Chemistry, &B::ChemistryPresent)},
};

// What the battery's own row adds; DeviceID and DesignVoltage replace the values of
// the portable battery.
const Field<B> kBattery[] = {
    {W("DeviceID"), &B::DeviceID},
    {W("EstimatedChargeRemaining"), Opt(&B::EstimatedChargeRemaining, &B::EstimatedChargeRemainingPresent)},
    {W("EstimatedRunTime"), Opt(&B::EstimatedRunTime, &B::EstimatedRunTimePresent)},
    {W("Status"), &B::Status},
    {W("DesignVoltage"), Opt(&B::DesignVoltage, &B::DesignVoltagePresent)},
};

// The name as a WQL string constant, `\` and `"` escaped. Written bare, WQL would read
// the name as a property name or a keyword and reject most names, so that no battery
// would find its own row; quoted, any name is one constant that matches that name
// alone.
WString WqlString(const WString& text) {
    WString quoted = W("\"");
    for (WCHAR c : text) {
        if (c == W('\\') || c == W('"')) quoted += W('\\');
        quoted += c;
    }
    return quoted + W("\"");
}

}  // namespace

bool CollectBatteries(IWmiMng* wmi, std::vector<BatteryInfo>& list) {
    std::vector<WmiRow> rows;
    if (!RunQuery(wmi, QueryFor<B>(W("SELECT * FROM Win32_PortableBattery"), kPortableBattery), rows))
        return false;
    list.clear();
    for (const WmiRow& row : rows) {
        BatteryInfo battery;
        ReadFields<B>(row, kPortableBattery, battery);
        // Also for an empty name: the query then looks for a battery without one.
        const WString wql = W("SELECT * FROM Win32_Battery WHERE Name = ") + WqlString(battery.Name);
        std::vector<WmiRow> status;
        // A battery without a row of its own keeps what the portable battery gave.
        if (wmi->Query(QueryFor<B>(wql.c_str(), kBattery), status) == 0 && !status.empty())
            ReadFields<B>(status.front(), kBattery, battery);
        list.push_back(std::move(battery));
    }
    return !list.empty();
}

}  // namespace hostlens::hardware
