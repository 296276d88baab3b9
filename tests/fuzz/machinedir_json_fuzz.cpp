// Any bytes given as machine.json or as a WMI class file: a description or an error
// naming the place, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/posix/machine/directory/machine_json.h"
#include "platform/posix/machine/directory/wmi_class_file.h"

using namespace hostlens::sim::machinedir;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto machine = ParseMachineJson(text);
    if (!machine.ok() && machine.error->reason.empty()) __builtin_trap();
    auto cls = ParseWmiClassFile(text, "root/cimv2/Win32_Fuzz.json");
    if (!cls.ok() && cls.error->reason.empty()) __builtin_trap();
    if (cls.ok()) {
        for (const WmiInstance& instance : cls.value.instances) {
            std::size_t next = 0;  // values come by property index, ascending, each once, never NULL
            for (const WmiPropertyValue& v : instance.values) {
                if (v.property < next || v.property >= cls.value.properties.size()) __builtin_trap();
                if (std::holds_alternative<std::monostate>(v.value)) __builtin_trap();
                next = v.property + 1;
            }
        }
    }
    return 0;
}
