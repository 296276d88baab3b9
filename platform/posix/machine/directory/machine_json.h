// Reads machine.json, the facts of a machine directory, into a plain description.
// Every member is optional: what a file leaves out keeps the simulated machine's
// default. Unknown members, wrong types and values out of range are errors naming the
// member by its JSON pointer. docs/machine-directory.md lists the members.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/machine/directory/iso8601.h"
#include "platform/posix/machine/directory/parse_error.h"

namespace hostlens::sim::machinedir {

enum class Architecture { X86, X64, Arm64, Ia64, Arm };  // Arm: 32-bit ARM (Windows RT)

// What the version tests (VerifyVersionInfoW) and GetProductInfo report.
struct OsFacts {
    std::optional<std::uint32_t> platformId;  // 2 Windows NT, 1 Windows 9x, 0 Win32s
    std::optional<std::uint32_t> major;
    std::optional<std::uint32_t> minor;
    std::optional<std::uint32_t> build;
    std::optional<std::uint16_t> servicePackMajor;
    std::optional<std::uint16_t> servicePackMinor;
    std::optional<std::uint8_t> productType;   // 1 workstation, 2 domain controller, 3 server
    std::optional<std::uint16_t> suiteMask;    // VER_SUITE_* bits
    std::optional<std::uint32_t> productInfo;  // PRODUCT_* from GetProductInfo
    std::optional<std::u16string> csdVersion;  // "Service Pack 1"; at most 127 characters
};

struct ArchitectureFacts {
    std::optional<Architecture> native;   // the machine's Windows
    std::optional<Architecture> process;  // this process: code the machine runs
    std::optional<bool> x64Emulation;     // an ARM64 machine that runs x64 code
};

// GetComputerNameExW, one member per COMPUTER_NAME_FORMAT.
struct ComputerNames {
    std::optional<std::u16string> netbios;  // at most 15 characters, as NetBIOS allows
    std::optional<std::u16string> dnsHostname;
    std::optional<std::u16string> dnsDomain;
    std::optional<std::u16string> dnsFullyQualified;
    std::optional<std::u16string> physicalNetbios;  // at most 15 characters
    std::optional<std::u16string> physicalDnsHostname;
    std::optional<std::u16string> physicalDnsDomain;
    std::optional<std::u16string> physicalDnsFullyQualified;
};

// GetSystemPowerStatus (SYSTEM_POWER_STATUS).
struct PowerStatus {
    std::optional<std::uint8_t> acLineStatus;        // 0 offline, 1 online, 255 unknown
    std::optional<std::uint8_t> batteryFlag;         // BATTERY_FLAG_* bits, 255 unknown
    std::optional<std::uint8_t> batteryLifePercent;  // 0..100, 255 unknown
    std::optional<std::uint8_t> systemStatusFlag;    // 0 or 1 (battery saver on)
    std::optional<std::uint32_t> batteryLifeTime;    // seconds, 0xFFFFFFFF unknown
    std::optional<std::uint32_t> batteryFullLifeTime;
};

struct MachineDescription {
    std::optional<OsFacts> os;
    std::optional<ArchitectureFacts> architecture;
    std::map<int, int> systemMetrics;           // GetSystemMetrics index (SM_*) -> value; only those given
    std::optional<std::uint32_t> ansiCodePage;  // GetACP
    std::optional<ComputerNames> computerNames;
    std::optional<FileTimeTicks> clock;        // the system time (UTC) when the machine starts
    std::optional<std::uint64_t> tickCount;    // milliseconds since boot when the machine starts
    std::optional<std::int32_t> timeZoneBias;  // minutes: UTC = local time + bias
    std::optional<PowerStatus> power;
    std::optional<std::u16string> windowsDirectory;  // "C:\\Windows": a drive, a folder, no trailing "\\"
    // Exports the machine's Windows lacks: system module ("kernel32") -> function names
    // that GetProcAddress does not find there.
    std::map<std::string, std::vector<std::string>> missingExports;
};

// Parses the text of machine.json; `file` names it in errors ("machine.json").
ParseResult<MachineDescription> ParseMachineJson(std::string_view text,
                                                 std::string_view file = "machine.json");

// The index of a GetSystemMetrics name ("SM_CXSCREEN" -> 0); empty for unknown names.
std::optional<int> SystemMetricIndex(std::string_view name);

}  // namespace hostlens::sim::machinedir
