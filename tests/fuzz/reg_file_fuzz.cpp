// Any bytes given as a registry export: the parser answers with operations or with an
// error on a line of the file; it never crashes, hangs or grows without bound.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/posix/machine/directory/reg_file.h"

using namespace hostlens::sim::machinedir;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> bytes(data, size);
    auto result = ParseRegFile(bytes, "fuzz.reg");
    // Every line break counts one line, whatever the encoding; a line is at least one byte.
    std::size_t lines = 1 + static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    if (!result.ok()) {
        if (result.error->line < 1 || result.error->line > lines || result.error->reason.empty())
            __builtin_trap();
        if (!result.value.empty()) __builtin_trap();
        return 0;
    }
    // What the operations hold never outgrows the text they came from (ANSI strings
    // double in width, strings gain a NUL, dwords may be shorter in the text).
    std::size_t total = 0;
    std::size_t count = 0;
    std::size_t lastLine = 1;
    auto check = [&](std::size_t line) {
        if (line <= lastLine || line > lines) __builtin_trap();  // in file order, one per line
        lastLine = line;
        ++count;
    };
    for (const RegOperation& op : result.value) {
        std::visit([&](const auto& o) { check(o.line); }, op);
        if (const auto* key = std::get_if<RegCreateKey>(&op)) {
            total += key->key.subkey.size() * 2;
            for (const RegValueOperation& value : key->values) {
                std::visit(
                    [&](const auto& v) {
                        check(v.line);
                        total += v.name.size() * 2;
                    },
                    value);
                if (const auto* set = std::get_if<RegSetValue>(&value)) total += set->data.size();
            }
        } else {
            total += std::get<RegDeleteKey>(op).key.subkey.size() * 2;
        }
    }
    if (total > 2 * size + 4 * count) __builtin_trap();
    return 0;
}
