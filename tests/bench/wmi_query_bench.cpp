// Rows per second of the WMI manager's Query over the simulated machine: 10,000
// instances of a class with 10 properties, every property asked for.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "platform/posix/machine/sim.h"
#include "platform/posix/com/sim_wmi.h"
#include "wmi/wmi_mng.h"

namespace {

constexpr int kInstances = 10000;

void FillRepository() {
    using namespace hostlens::sim;
    ResetMachine();
    std::vector<WmiProperty> properties = {
        {u"Name", cim::String},         {u"DeviceID", cim::String},
        {u"Manufacturer", cim::String}, {u"Capacity", cim::UInt64},
        {u"Speed", cim::UInt32},        {u"BankLabel", cim::String},
        {u"FormFactor", cim::UInt16},   {u"DataWidth", cim::UInt16},
        {u"SerialNumber", cim::String}, {u"InterleavePosition", cim::UInt32}};
    AddWmiClass(u"ROOT\\CIMV2", u"Win32_PhysicalMemory", properties);
    for (int i = 0; i < kInstances; ++i) {
        std::u16string n(std::to_string(i).begin(), std::to_string(i).end());
        AddWmiInstance(u"ROOT\\CIMV2", u"Win32_PhysicalMemory",
                       {{u"Name", u"Physical Memory " + n},
                        {u"DeviceID", u"Memory" + n},
                        {u"Manufacturer", u"Samsung"},
                        {u"Capacity", std::uint64_t{17179869184ull}},
                        {u"Speed", std::uint64_t{3200}},
                        {u"BankLabel", u"BANK " + n},
                        {u"FormFactor", std::uint64_t{12}},
                        {u"DataWidth", std::uint64_t{64}},
                        {u"SerialNumber", u"0x" + n},
                        {u"InterleavePosition", std::uint64_t{1}}});
    }
}

void Query(benchmark::State& state, bool asStrings) {
    FillRepository();
    auto* manager = new CWmiMng(nullptr);
    manager->SetNamespace(W("ROOT\\CIMV2"));
    WmiQuery query;
    query.Query = W("SELECT * FROM Win32_PhysicalMemory");
    std::int64_t rows = 0;
    for (auto _ : state) {
        if (asStrings) {
            std::vector<WmiStringRow> result;
            if (manager->QueryAsStrings(query, result) != 0) state.SkipWithError("query failed");
            rows += static_cast<std::int64_t>(result.size());
        } else {
            std::vector<WmiRow> result;
            if (manager->Query(query, result) != 0) state.SkipWithError("query failed");
            rows += static_cast<std::int64_t>(result.size());
        }
    }
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
    static_cast<IRefCounter*>(manager)->Release();
}

void BM_Query(benchmark::State& state) {
    Query(state, false);
}
void BM_QueryAsStrings(benchmark::State& state) {
    Query(state, true);
}

BENCHMARK(BM_Query)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryAsStrings)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
