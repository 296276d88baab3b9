#include "platform/posix/nls/upcase.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "platform/posix/nls/upcase_ranges.h"

namespace hostlens::sim::detail {
namespace {

using Table = std::array<char16_t, 0x10000>;

// Expanded once from the ranges: every comparison is then one lookup per code unit.
// Built on first use, so that a comparison made while other modules start up finds it.
const Table& UpcaseTable() {
    static const Table table = [] {
        Table built{};
        for (std::size_t c = 0; c < built.size(); ++c) built[c] = static_cast<char16_t>(c);
        for (const nls::UpcaseRange& range : nls::kUpcaseRanges)
            for (char32_t c = range.first; c <= range.last; c += range.step)
                built[c] = static_cast<char16_t>(static_cast<std::int32_t>(c) + range.delta);
        return built;
    }();
    return table;
}

}  // namespace

char16_t Upcase(char16_t c) {
    return UpcaseTable()[c];
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    const Table& upper = UpcaseTable();
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        char16_t x = upper[a[i]];
        char16_t y = upper[b[i]];
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace hostlens::sim::detail
