// The simulated machine's test interface (Linux only): tests build the machine the
// emulated Win32 API answers from, make any call fail on demand, and ask what is
// still open. Nothing in the library itself includes this header.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/win32_types.h"
#include "platform/posix/power/win32_power.h"

namespace hostlens::sim {

// What GetComputerNameExW reports, one member per COMPUTER_NAME_FORMAT. The physical
// names differ from the others only on a cluster node.
struct ComputerNameFacts {
    std::u16string netbios = u"HOSTLENS-PC";
    std::u16string dnsHostname = u"HOSTLENS-PC";
    std::u16string dnsDomain;  // empty: a workgroup machine
    std::u16string dnsFullyQualified = u"HOSTLENS-PC";
    std::u16string physicalNetbios = u"HOSTLENS-PC";
    std::u16string physicalDnsHostname = u"HOSTLENS-PC";
    std::u16string physicalDnsDomain;
    std::u16string physicalDnsFullyQualified = u"HOSTLENS-PC";
};

// The Windows edition and version: VerifyVersionInfoW, GetProductInfo, GetSystemMetrics,
// GetComputerNameExW. By default Windows 10 Pro 22H2.
struct OsFacts {
    std::uint32_t platformId = 2;  // VER_PLATFORM_WIN32_NT; 1 is Windows 9x
    std::uint32_t major = 10;
    std::uint32_t minor = 0;
    std::uint32_t build = 19045;
    std::uint16_t servicePackMajor = 0;
    std::uint16_t servicePackMinor = 0;
    std::uint8_t productType = 1;      // VER_NT_WORKSTATION; 2 domain controller, 3 server
    std::uint16_t suiteMask = 0x0110;  // VER_SUITE_* bits: SINGLEUSERTS | TERMINAL, as Windows 10 Pro reports
    std::uint32_t productInfo = 0x30;  // PRODUCT_PROFESSIONAL
    std::u16string csdVersion;         // "Service Pack 1"; empty without a service pack
    // GetSystemMetrics values this machine sets (SM_* index -> value); an index not
    // listed answers 0.
    std::map<int, int> systemMetrics;
    ComputerNameFacts computerNames;
};

// Processors as Windows names them (GetNativeSystemInfo, IsWow64Process2).
enum class Processor { X86, X64, Arm64, Ia64, Arm };

// Operating-system facts that the emulated API reports.
struct Facts {
    bool native64 = true;    // a 64-bit Windows ...
    bool process64 = false;  // ... running this process as 32-bit code (WOW64)
    // Which processor a 32-bit Windows runs on (x86, or 32-bit ARM for Windows RT) and
    // a 64-bit one (x64, ARM64 or Itanium), and which code a 64-bit process is: x64
    // (on x64, or emulated on ARM64), ARM64 or Itanium code. A 32-bit process is x86
    // code, but on 32-bit ARM Windows, where it is ARM code.
    Processor native32Processor = Processor::X86;
    Processor native64Processor = Processor::X64;
    Processor process64Processor = Processor::X64;
    // An ARM64 Windows that also runs x64 code (Windows 11 on ARM does).
    bool x64Emulation = false;
    // The clock in 100-nanosecond intervals since 1601-01-01 UTC (a FILETIME value),
    // frozen there; 0 follows the host's clock.
    std::uint64_t clock = 0;
    // Milliseconds since the machine started, frozen there; 0 follows the host's uptime.
    std::uint64_t tickCount = 0;
    // The machine's time zone: UTC minus local time in minutes, no daylight saving.
    std::int32_t timeZoneBias = 0;
    // The ANSI code page (GetACP, CP_ACP).
    std::uint32_t ansiCodePage = 1252;
    // What GetSystemPowerStatus reports; by default a desktop without a battery.
    SYSTEM_POWER_STATUS powerStatus{1, 128, 255, 0, 0xFFFFFFFF, 0xFFFFFFFF};
    // GetWindowsDirectoryW: the folder of the machine's Windows, without a trailing
    // backslash.
    std::u16string windowsDirectory = u"C:\\Windows";
    OsFacts os;
};

inline Processor NativeProcessor(const Facts& facts) {
    return facts.native64 ? facts.native64Processor : facts.native32Processor;
}
inline Processor ProcessProcessor(const Facts& facts) {
    if (facts.process64) return facts.process64Processor;
    return facts.native64 ? Processor::X86 : facts.native32Processor;
}

// Throws away the whole machine (registry, faults, facts, trace controller) and
// starts a new one whose drive C: is `driveC` (may be empty: no drive).
void ResetMachine(const std::filesystem::path& driveC = {});
Facts& MachineFacts();
void SetDriveFolder(char drive, const std::filesystem::path& folder);
std::optional<std::filesystem::path> DriveFolder(char drive);

// Fault injection: the `occurrence`-th call (1 = the next) of `function` from now on
// fails with `error` (a Win32 code, LSTATUS or HRESULT as the function reports it),
// and so do the `times - 1` calls after it.
void FailCall(std::string_view function, unsigned occurrence, std::uint32_t error, unsigned times = 1);
void ClearFaults();
// How many times `function` was called since the machine was reset.
unsigned CallCount(std::string_view function);

// The calls made since a mark, in the order they were made (from every thread):
// the function's name as FailCall takes it, and which of its calls since the mark
// this was (1 = the first). A fault armed with FailCall(function, occurrence, ...)
// right after MarkCalls() hits exactly that call when the same work is done again.
struct RecordedCall {
    std::string function;
    unsigned occurrence = 0;
    bool operator==(const RecordedCall&) const = default;
};
// Starts recording, forgetting what was recorded before; a reset stops it.
void MarkCalls();
std::vector<RecordedCall> CallsSinceMark();
// How many calls failed on demand since the mark.
unsigned FaultsInjectedSinceMark();

// What is still open in the process.
struct OpenCounts {
    long keys = 0;
    long handles = 0;
    long modules = 0;  // modules loaded by LoadLibrary and not yet freed
    long comObjects = 0;
    long bstrs = 0;
    long safeArrays = 0;
    bool operator==(const OpenCounts&) const = default;
};
OpenCounts Open();
std::string Describe(const OpenCounts& counts);

// Modules: names asked for by LoadLibrary(Ex)W, in order, since the reset; exports of
// built-in system modules that this machine's Windows lacks.
std::vector<std::string> ModuleLoadRequests();
void HideSystemExport(std::string_view module, std::string_view function);

// Trace controller: enables a registered provider (by control GUID) as a trace
// session would, and captures what its trace points emit.
struct TracePoint {
    GUID messageGuid{};
    std::uint16_t number = 0;
    std::uint8_t level = 0;         // decoded from the message number
    std::uint32_t flag = 0;         // decoded from the message number
    std::vector<std::string> args;  // raw bytes of each argument
    bool viaTraceEvent = false;     // emitted through TraceEvent (the fallback path)
};
void EnableTraceProvider(const GUID& controlGuid, std::uint8_t level, std::uint32_t flags);
void DisableTraceProvider(const GUID& controlGuid);
bool IsTraceProviderRegistered(const GUID& controlGuid);
void StartTraceCapture();
std::vector<TracePoint> TakeTraceCapture();

}  // namespace hostlens::sim
