// Loading machine directories of the shapes that grow one list without bound: many
// keys given in random order, many values in one key, many key deletions, a WMI class
// with many properties. Each runs at n and 2n, so that the time per item shows
// whether loading stays linear (the same at both sizes) or not (twice as much).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "platform/posix/machine/sim_machinedir.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
constexpr const char* kBase = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench";

std::string Number(const char* format, std::size_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// The key names 0..n-1 in an order that is neither sorted nor reversed.
std::vector<std::string> ShuffledKeys(std::size_t n) {
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(42));
    std::vector<std::string> keys;
    keys.reserve(n);
    for (std::size_t i : order) keys.push_back(std::string(kBase) + "\\Key" + Number("%08zu", i));
    return keys;
}

std::string KeysInRandomOrder(std::size_t n) {
    std::string text = kHeader;
    for (const std::string& key : ShuffledKeys(n)) text += "[" + key + "]\r\n";
    return text;
}

std::string ValuesInOneKey(std::size_t n) {
    std::string text = std::string(kHeader) + "[" + kBase + "]\r\n";
    for (std::size_t i = 0; i < n; ++i)
        text += "\"Value" + Number("%zu", i) + "\"=dword:" + Number("%08zx", i) + "\r\n";
    return text;
}

std::string KeysThenDeletions(std::size_t n) {
    std::vector<std::string> keys = ShuffledKeys(n);
    std::string text = kHeader;
    for (const std::string& key : keys) text += "[" + key + "]\r\n\"V\"=dword:00000001\r\n";
    for (const std::string& key : keys) text += "[-" + key + "]\r\n";
    return text;
}

std::string WideClass(std::size_t n) {
    std::string properties;
    std::string instance;
    for (std::size_t i = 0; i < n; ++i) {
        std::string name = "Property" + Number("%zu", i);
        properties += std::string(i ? "," : "") + "{\"name\": \"" + name + "\", \"type\": \"uint32\"}";
        instance += std::string(i ? "," : "") + "\"" + name + "\": " + Number("%zu", i);
    }
    return "{\"properties\": [" + properties + "], \"instances\": [{" + instance + "}]}";
}

// A machine directory holding one file, removed when the benchmark ends.
class Directory {
public:
    Directory(const std::string& relative, const std::string& content) {
        root_ = fs::temp_directory_path() / ("hostlens-load-bench-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative, std::ios::binary) << content;
    }
    ~Directory() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const fs::path& Path() const { return root_; }

private:
    fs::path root_;
};

void Load(benchmark::State& state, const std::string& relative, std::string (*make)(std::size_t)) {
    auto n = static_cast<std::size_t>(state.range(0));
    Directory dir(relative, make(n));
    for (auto _ : state) {
        if (auto error = hostlens::sim::LoadMachineDirectory(dir.Path())) state.SkipWithError(error->c_str());
    }
    state.counters["items"] = static_cast<double>(n);
    state.counters["per item"] = benchmark::Counter(
        static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_KeysInRandomOrder(benchmark::State& state) {
    Load(state, "registry/keys.reg", KeysInRandomOrder);
}
void BM_ValuesInOneKey(benchmark::State& state) {
    Load(state, "registry/values.reg", ValuesInOneKey);
}
void BM_KeyDeletions(benchmark::State& state) {
    Load(state, "registry/deletions.reg", KeysThenDeletions);
}
void BM_ClassProperties(benchmark::State& state) {
    Load(state, "wmi/root/cimv2/Bench_Wide.json", WideClass);
}

BENCHMARK(BM_KeysInRandomOrder)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValuesInOneKey)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyDeletions)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClassProperties)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
