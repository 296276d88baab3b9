// The WMI part of the test interface, over the machine's repository.
#include "platform/posix/com/sim_wmi.h"

#include "platform/posix/com/wmi/repository.h"

namespace hostlens::sim {

void AddWmiNamespace(std::u16string_view ns) {
    wmi::MachineRepository().AddNamespace(ns);
}

void AddWmiClass(std::u16string_view ns, std::u16string_view className, std::vector<WmiProperty> properties) {
    if (!wmi::MachineRepository().FindNamespace(ns)) wmi::MachineRepository().AddNamespace(ns);
    wmi::MachineRepository().AddClass(ns, className, std::move(properties));
}

void AddWmiInstance(std::u16string_view ns, std::u16string_view className, const WmiNamedValues& values) {
    wmi::MachineRepository().AddInstance(ns, className, values);
}

WmiClass DefineWmiClass(std::u16string_view ns, std::u16string_view className,
                        std::vector<WmiProperty> properties) {
    AddWmiClass(ns, className, std::move(properties));
    return WmiClass(std::u16string(ns), std::u16string(className));
}

}  // namespace hostlens::sim
