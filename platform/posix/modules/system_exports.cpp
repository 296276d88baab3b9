#include "platform/posix/modules/system_exports.h"

#include <tuple>

namespace hostlens::sim::detail {
namespace {

struct Introduced {
    std::string_view function;
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t build;
};

// The Windows version that first exported each function, as its documentation gives
// it ("Minimum supported client").
constexpr Introduced kIntroduced[] = {
    {"GetProductInfo", 6, 0, 0},        // Windows Vista
    {"GetTickCount64", 6, 0, 0},        // Windows Vista
    {"IsWow64Process2", 10, 0, 10586},  // Windows 10, version 1511
};

}  // namespace

bool IsExportOfLaterWindows(const OsFacts& os, std::string_view function) {
    for (const Introduced& entry : kIntroduced)
        if (entry.function == function)
            return std::tie(os.major, os.minor, os.build) < std::tie(entry.major, entry.minor, entry.build);
    return false;
}

}  // namespace hostlens::sim::detail
