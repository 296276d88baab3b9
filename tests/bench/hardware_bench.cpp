// Calls per second of GetHardwareInfo over the simulated machine: the Exchange
// server's classes as the sample machine has them, and the same machine with 64
// connected adapters, each with its configuration (one query per adapter).
#include <benchmark/benchmark.h>

#include <string>

#include "hardware/hardware.h"
#include "platform/posix/com/sim_wmi.h"
#include "platform/posix/machine/sim_machinedir.h"

namespace {

void AddAdapters(int count) {
    using namespace hostlens::sim;
    for (int i = 0; i < count; ++i) {
        const std::string digits = std::to_string(100 + i);
        const std::u16string n(digits.begin(), digits.end());
        AddWmiInstance(u"ROOT\\CIMV2", u"Win32_NetworkAdapter",
                       {{u"DeviceID", n},
                        {u"Index", std::uint64_t(100 + i)},
                        {u"InterfaceIndex", std::uint64_t(100 + i)},
                        {u"Name", u"Team member " + n},
                        {u"NetConnectionID", u"Team " + n},
                        {u"PhysicalAdapter", true},
                        {u"Speed", u"10000000000"},
                        {u"MACAddress", u"E4:43:4B:6A:1D:" + n}});
        AddWmiInstance(u"ROOT\\CIMV2", u"Win32_NetworkAdapterConfiguration",
                       {{u"Index", std::uint64_t(100 + i)},
                        {u"InterfaceIndex", std::uint64_t(100 + i)},
                        {u"IPAddress", WmiArray{u"10.30.0." + n, u"fe80::" + n}},
                        {u"IPSubnet", WmiArray{u"255.255.0.0", u"64"}},
                        {u"DNSServerSearchOrder", WmiArray{u"10.20.1.10"}},
                        {u"DNSHostName", u"exch01"}});
    }
}

void Collect(benchmark::State& state, int adapters) {
    if (auto error = hostlens::sim::LoadMachineDirectory(HOSTLENS_SAMPLE_MACHINES "/server2019")) {
        state.SkipWithError(error->c_str());
        return;
    }
    AddAdapters(adapters);
    auto* hardware = new CHardware(nullptr);
    std::size_t found = 0;
    for (auto _ : state) {
        HardwareInfo info;
        if (hardware->GetHardwareInfo(info) != 0) state.SkipWithError("nothing found");
        found = info.NetworkAdapters.size();
    }
    state.counters["calls/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["adapters"] = static_cast<double>(found);
    static_cast<IRefCounter*>(hardware)->Release();
}

void BM_GetHardwareInfo(benchmark::State& state) {
    Collect(state, 0);
}
void BM_GetHardwareInfo64Adapters(benchmark::State& state) {
    Collect(state, 62);  // besides the server's own two
}

BENCHMARK(BM_GetHardwareInfo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetHardwareInfo64Adapters)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
