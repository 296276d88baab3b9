// The processor architecture of the machine and of the process, WOW64 and system
// metrics, answered from the machine's facts. Only the architecture is the machine's
// own: the other SYSTEM_INFO fields are the usual values for it (one processor).
#include "platform/posix/machine/machine.h"
#include "platform/posix/sysinfo/win32_sysinfo.h"
#include "platform/posix/win32_base.h"

namespace {

using hostlens::sim::Facts;
using hostlens::sim::MachineFacts;
using hostlens::sim::Processor;
namespace detail = hostlens::sim::detail;

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

void Describe(Processor processor, bool process64, SYSTEM_INFO& info) {
    info = SYSTEM_INFO{};
    switch (processor) {
        case Processor::X86:
            info.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
            info.dwProcessorType = 586;  // PROCESSOR_INTEL_PENTIUM
            break;
        case Processor::X64:
            info.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
            info.dwProcessorType = 8664;  // PROCESSOR_AMD_X8664
            break;
        case Processor::Arm64:
            info.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM64;
            break;
        case Processor::Ia64:
            info.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_IA64;
            info.dwProcessorType = 2200;  // PROCESSOR_INTEL_IA64
            break;
        case Processor::Arm:
            info.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM;
            break;
    }
    info.dwPageSize = processor == Processor::Ia64 ? 8192 : 4096;
    info.lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
    info.lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(
        process64 ? static_cast<ULONG_PTR>(0x7FFFFFFEFFFFull) : ULONG_PTR{0x7FFEFFFF});
    info.dwActiveProcessorMask = 1;
    info.dwNumberOfProcessors = 1;
    info.dwAllocationGranularity = 65536;
    info.wProcessorLevel = 6;
}

USHORT MachineOf(Processor processor) {
    switch (processor) {
        case Processor::X86:
            return IMAGE_FILE_MACHINE_I386;
        case Processor::X64:
            return IMAGE_FILE_MACHINE_AMD64;
        case Processor::Arm64:
            return IMAGE_FILE_MACHINE_ARM64;
        case Processor::Ia64:
            return IMAGE_FILE_MACHINE_IA64;
        case Processor::Arm:
            return IMAGE_FILE_MACHINE_ARMNT;
    }
    return IMAGE_FILE_MACHINE_UNKNOWN;
}

// What GetNativeSystemInfo tells the process: ARM64 Windows shows an emulated process
// the machine it emulates.
Processor NativeAsSeen(const Facts& facts) {
    Processor native = NativeProcessor(facts);
    Processor process = ProcessProcessor(facts);
    if (native != Processor::Arm64 || process == Processor::Arm64) return native;
    return process == Processor::X64 || facts.x64Emulation ? Processor::X64 : Processor::X86;
}

}  // namespace

// Void on Windows, which never fails them: an injected fault leaves the structure as
// the caller had it.
HOSTLENS_WIN32_API void WINAPI GetSystemInfo(LPSYSTEM_INFO info) {
    if (detail::Fault("GetSystemInfo") || info == nullptr) return;
    const Facts& facts = MachineFacts();
    Describe(ProcessProcessor(facts), facts.process64, *info);
}

HOSTLENS_WIN32_API void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info) {
    if (detail::Fault("GetNativeSystemInfo") || info == nullptr) return;
    const Facts& facts = MachineFacts();
    Describe(NativeAsSeen(facts), facts.process64, *info);
}

HOSTLENS_WIN32_API HANDLE WINAPI GetCurrentProcess(void) {
    return kCurrentProcess;
}

HOSTLENS_WIN32_API BOOL WINAPI IsWow64Process2(HANDLE process, USHORT* processMachine,
                                               USHORT* nativeMachine) {
    if (auto fault = detail::Fault("IsWow64Process2")) {
        SetLastError(*fault);
        return FALSE;
    }
    if (process != kCurrentProcess) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (processMachine == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const Facts& facts = MachineFacts();
    // Only x86 code on a 64-bit Windows runs under WOW64 here; x64 code that ARM64
    // Windows emulates does not.
    const bool wow64 = facts.native64 && !facts.process64;
    *processMachine = wow64 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_UNKNOWN;
    if (nativeMachine != nullptr) *nativeMachine = MachineOf(NativeProcessor(facts));
    return TRUE;
}

HOSTLENS_WIN32_API int WINAPI GetSystemMetrics(int index) {
    // GetSystemMetrics answers 0 when it fails and sets no error.
    if (detail::Fault("GetSystemMetrics")) return 0;
    const auto& metrics = MachineFacts().os.systemMetrics;
    auto it = metrics.find(index);
    return it == metrics.end() ? 0 : it->second;
}
