// LIKE matching against long texts, with the longest patterns of the shapes that make
// a backtracking matcher slow: a long literal after '%', a large negated set, many
// '_'. Each runs at two text lengths, so the time per character shows that matching
// stays linear in the text.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/posix/com/wmi/wql_like.h"

namespace {

namespace wmi = hostlens::sim::wmi;

std::u16string LongLiteral() {
    return u"%" + std::u16string(wmi::kMaxLikePattern - 2, u'a') + u"b";
}

std::u16string LargeSet() {
    std::u16string pattern = u"%[^";
    while (pattern.size() < wmi::kMaxLikePattern - 2)
        pattern += static_cast<char16_t>(0x100 + pattern.size());
    return pattern + u"]b";
}

std::u16string ManyAnyOne() {
    return u"%" + std::u16string(wmi::kMaxLikePattern - 3, u'_') + u"b%";
}

void Like(benchmark::State& state, std::u16string (*make)()) {
    auto pattern = wmi::LikePattern::Compile(make());
    if (!pattern) {
        state.SkipWithError("the pattern does not compile");
        return;
    }
    std::u16string text(static_cast<std::size_t>(state.range(0)), u'a');
    for (auto _ : state) benchmark::DoNotOptimize(pattern->Matches(text));
    state.counters["per char"] =
        benchmark::Counter(static_cast<double>(text.size()),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_LikeLongLiteral(benchmark::State& state) {
    Like(state, LongLiteral);
}
void BM_LikeLargeSet(benchmark::State& state) {
    Like(state, LargeSet);
}
void BM_LikeManyAnyOne(benchmark::State& state) {
    Like(state, ManyAnyOne);
}

BENCHMARK(BM_LikeLongLiteral)->Arg(1 << 19)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LikeLargeSet)->Arg(1 << 19)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LikeManyAnyOne)->Arg(1 << 19)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
