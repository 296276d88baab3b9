#include "hardware/network_adapters.h"

#include "frame/trace.h"
#include "frame/value_helpers.h"
#include "hardware/field_table.h"

HL_TRACE_MODULE("hardware/network_adapters")

namespace hostlens::hardware {
namespace {

using N = NetworkAdapter;

const WCHAR kName[] = W("Name");
const WCHAR kPhysicalAdapter[] = W("PhysicalAdapter");
const WCHAR kInterfaceIndex[] = W("InterfaceIndex");
const WCHAR kIndex[] = W("Index");

const Field<N> kAdapter[] = {
    {W("DeviceID"), &N::DeviceID},       {W("Manufacturer"), &N::Manufacturer},
    {W("AdapterType"), &N::AdapterType}, {W("Speed"), Opt(&N::Speed, &N::SpeedPresent)},
    {W("MACAddress"), &N::MACAddress},
};

// A scalar (DHCPServer) gives a one-element list.
const Field<N> kConfiguration[] = {
    {W("DNSHostName"), &N::DNSHostName},
    {W("DNSDomain"), &N::DNSDomain},
    {W("IPAddress"), &N::IPAddress},
    {W("IPSubnet"), &N::IPSubnet},
    {W("DefaultIPGateway"), &N::DefaultIPGateway},
    {W("DHCPServer"), &N::DHCPServer},
    {W("DNSServerSearchOrder"), &N::DNSServerSearchOrder},
};

constexpr DWORD kAbsent = 0xFFFFFFFF;

// Only an adapter that WMI calls not physical is left out; older Windows does not say.
bool IsVirtual(const WmiRow& row) {
    VARIANT_BOOL physical = VARIANT_TRUE;
    return ReadBoolean(row, kPhysicalAdapter, physical) && physical == VARIANT_FALSE;
}

DWORD IndexOf(const WmiRow& row, const WCHAR* name) {
    std::uint64_t bits = 0;
    return ReadInteger(row, name, bits) ? static_cast<DWORD>(bits) : kAbsent;
}

// The configuration row is found by the interface index, or on Windows versions
// without one by the adapter's index; 0xFFFFFFFF stands for neither.
WString ConfigurationQuery(const WmiRow& row) {
    WString wql = W("SELECT * FROM Win32_NetworkAdapterConfiguration WHERE ");
    if (row.find(kInterfaceIndex) != row.end()) {
        DWORD interfaceIndex = IndexOf(row, kInterfaceIndex);
        return interfaceIndex == kAbsent ? WString()
                                         : wql + W("InterfaceIndex = ") + NumberToWide(interfaceIndex);
    }
    DWORD index = IndexOf(row, kIndex);
    return index == kAbsent ? WString() : wql + W("Index = ") + NumberToWide(index);
}

}  // namespace

bool CollectNetworkAdapters(IWmiMng* wmi, std::vector<NetworkAdapter>& list) {
    if (wmi == nullptr) {
        TRACE_ERROR();
        return false;
    }
    std::vector<WmiRow> rows;
    const WmiQuery query = QueryFor(W("SELECT * FROM Win32_NetworkAdapter WHERE NetConnectionID IS NOT NULL"),
                                    {W("DeviceID"), W("Manufacturer"), kName, W("AdapterType"), W("Speed"),
                                     W("MACAddress"), kPhysicalAdapter, kInterfaceIndex, kIndex});
    DWORD result = wmi->Query(query, rows);
    if (result != 0) {
        TRACE_ERROR(result);
        return false;
    }
    list.clear();
    for (const WmiRow& row : rows) {
        NetworkAdapter adapter;
        ReadText(row, kName, adapter.Name);
        if (IsVirtual(row)) {
            TRACE_VERBOSE(adapter.Name);
            continue;
        }
        ReadFields<N>(row, kAdapter, adapter);
        const WString wql = ConfigurationQuery(row);
        // A configuration that cannot be read leaves the adapter without addresses.
        std::vector<WmiRow> configuration;
        if (!wql.empty() && wmi->Query(QueryFor<N>(wql.c_str(), kConfiguration), configuration) == 0 &&
            !configuration.empty())
            ReadFields<N>(configuration.front(), kConfiguration, adapter);
        list.push_back(std::move(adapter));
    }
    return !list.empty();
}

}  // namespace hostlens::hardware
