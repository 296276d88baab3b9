// The Windows record, asked of the system in a fixed order: the NT platform test, the
// architecture, the product type and suites, the CurrentVersion values, the version
// tests, the edition from GetProductInfo, and what follows from them.
#include "frame/runtime_numbers.h"
#include "frame/value_helpers.h"
#include "os/current_version.h"
#include "os/edition_codes.h"
#include "os/operating_system.h"
#include "os/version_test.h"

namespace {

using hostlens::os::IsVersion;
using hostlens::os::ReadCurrentVersionDword;
using hostlens::os::ReadCurrentVersionString;
using hostlens::os::ServerLevelIsSet;
using hostlens::os::VersionTest;

using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
using GetProductInfoFn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);

constexpr USHORT kMachineI386 = 0x014C;
constexpr USHORT kMachineIa64 = 0x0200;
constexpr USHORT kMachineAmd64 = 0x8664;
constexpr USHORT kMachineArm64 = 0xAA64;

// A function of the already loaded Kernel32.dll, or null where this Windows lacks it.
template <class Function>
Function Kernel32Function(const char* name) {
    HMODULE kernel32 = GetModuleHandleW(W("Kernel32.dll"));
    if (kernel32 == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel32, name)));
}

DWORD ProcessorArchitectureOf(WORD processorArchitecture) {
    switch (processorArchitecture) {
        case 0:  // PROCESSOR_ARCHITECTURE_INTEL
            return 1;
        case 9:  // PROCESSOR_ARCHITECTURE_AMD64
            return 2;
        case 6:  // PROCESSOR_ARCHITECTURE_IA64
            return 3;
        case 12:  // PROCESSOR_ARCHITECTURE_ARM64
            return 4;
    }
    return 0;
}

DWORD ArchitectureOfMachine(USHORT machine) {
    switch (machine) {
        case kMachineI386:
            return 1;
        case kMachineAmd64:
        case kMachineIa64:
            return 2;
        case kMachineArm64:
            return 3;
    }
    return 0;
}

DWORD ArchitectureOfProcessor(DWORD processorArchitecture) {
    switch (processorArchitecture) {
        case 1:
            return 1;
        case 2:
        case 3:
            return 2;
        case 4:
            return 3;
    }
    return 0;
}

// The code of a 10.0 Windows, by the registry's build number (not the true build).
DWORD Windows10Code(bool server, DWORD build) {
    if (server) return build < 17623 ? 12 : build < 20348 ? 13 : 15;
    return build < 22000 ? 11 : 14;
}

}  // namespace

void CWindowsOperatingSystem::GetOperatingSystemRecord(OperatingSystemRecord& info) {
    if (!VersionTest().Platform(VER_PLATFORM_WIN32_NT, VER_EQUAL).Passes()) return;
    info.IsWindows = 1;

    // Architecture: the native machine from IsWow64Process2 where Windows has it, which
    // also sees through the emulation of an x86 process on ARM64; else the native
    // system information.
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    info.ProcessorArchitecture = ProcessorArchitectureOf(system.wProcessorArchitecture);
    if (auto isWow64Process2 = Kernel32Function<IsWow64Process2Fn>("IsWow64Process2")) {
        USHORT processMachine = 0;
        USHORT nativeMachine = 0;
        if (isWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine))
            info.Architecture = ArchitectureOfMachine(nativeMachine);
    }
    if (info.Architecture == 0) info.Architecture = ArchitectureOfProcessor(info.ProcessorArchitecture);

    // Product type and suites.
    info.IsServer = !VersionTest().ProductType(VER_NT_WORKSTATION, VER_EQUAL).Passes();
    if (!info.IsServer) {
        info.IsPersonal = hostlens::os::HasSuite(VER_SUITE_PERSONAL);
        info.IsStarter = GetSystemMetrics(88) != 0;      // SM_STARTER
        info.IsMediaCenter = GetSystemMetrics(87) != 0;  // SM_MEDIACENTER
        info.IsTabletPC = GetSystemMetrics(86) != 0;     // SM_TABLETPC
    } else {
        info.ServerGuiShell = ServerLevelIsSet(W("Server-Gui-Shell"));
        info.ServerGuiMgmt = ServerLevelIsSet(W("Server-Gui-Mgmt"));
        info.ServerCoreLevel = ServerLevelIsSet(W("ServerCore"));
        info.NanoServerLevel = ServerLevelIsSet(W("NanoServer"));
        info.IsServerCore =
            (info.NanoServerLevel || info.ServerCoreLevel || info.ServerGuiMgmt) && !info.ServerGuiShell;
    }

    // The CurrentVersion values.
    if (ReadCurrentVersionDword(W("CurrentMajorVersionNumber"), info.MajorVersion)) {
        ReadCurrentVersionDword(W("CurrentMinorVersionNumber"), info.MinorVersion);
    } else {
        WString version;
        if (ReadCurrentVersionString(W("CurrentVersion"), version)) {
            int major = static_cast<int>(info.MajorVersion);
            int minor = static_cast<int>(info.MinorVersion);
            hostlens::runtime::ScanDottedPair(version.c_str(), major, minor);
            info.MajorVersion = static_cast<DWORD>(major);
            info.MinorVersion = static_cast<DWORD>(minor);
        }
    }
    WString text;
    if (ReadCurrentVersionString(W("CurrentBuildNumber"), text))
        info.BuildNumber = static_cast<DWORD>(hostlens::runtime::WideToInt(text.c_str()));
    ReadCurrentVersionDword(W("UBR"), info.UBR);
    // A display version that reads, even an empty one, stands for the release.
    if (!ReadCurrentVersionString(W("DisplayVersion"), info.DisplayVersion)) {
        if (ReadCurrentVersionString(W("ReleaseId"), text))
            info.ReleaseId = static_cast<WORD>(hostlens::runtime::WideToInt(text.c_str()));
        else if (ReadCurrentVersionString(W("CSDVersion"), text))
            hostlens::runtime::ScanThirdWordNumber(text.c_str(), info.ServicePackMajor);
    }
    ReadCurrentVersionString(W("ProductName"), info.ProductName);

    // The version code, by the version tests: the first that passes.
    if (VersionTest()
            .Major(10, VER_GREATER_EQUAL)
            .Minor(0, VER_GREATER)
            .ServicePackMajor(0x7FFF, VER_GREATER)
            .Passes()) {
        const DWORD pairs[][2] = {{10, 0}, {10, 1}, {10, 2}, {11, 0}, {11, 1}, {11, 2}};
        for (const auto& pair : pairs) {
            if (IsVersion(pair[0], pair[1])) {
                info.MajorVersion = pair[0];
                info.MinorVersion = pair[1];
            }
        }
        info.VersionCode = 1000;
    } else if (IsVersion(10, 0)) {
        info.MajorVersion = 10;
        info.MinorVersion = 0;
        info.VersionCode = Windows10Code(info.IsServer, info.BuildNumber);
    } else {
        // Each pair with its server and workstation codes.
        const DWORD versions[][4] = {{6, 3, 10, 9}, {6, 2, 8, 7}, {6, 1, 6, 5},
                                     {6, 0, 4, 3},  {5, 2, 2, 1}, {5, 1, 1, 1}};
        for (const auto& version : versions) {
            if (IsVersion(version[0], version[1])) {
                info.MajorVersion = version[0];
                info.MinorVersion = version[1];
                info.VersionCode = info.IsServer ? version[2] : version[3];
                break;
            }
        }
    }
    // The service pack the system has, over what "CSDVersion" said.
    if (info.MajorVersion == 5 || (info.MajorVersion == 6 && info.MinorVersion <= 1)) {
        info.ServicePackMajor = 0;
        for (WORD servicePack = 0; servicePack <= 5; ++servicePack) {
            if (VersionTest()
                    .ServicePackMajor(servicePack, VER_EQUAL)
                    .ServicePackMinor(0, VER_EQUAL)
                    .Passes()) {
                info.ServicePackMajor = servicePack;
                break;
            }
        }
    }

    if (auto getProductInfo = Kernel32Function<GetProductInfoFn>("GetProductInfo"))
        getProductInfo(info.MajorVersion, info.MinorVersion, info.ServicePackMajor, 0, &info.ProductType);

    // Windows 10 and 11 Enterprise multi-session are workstations that report a
    // server's product type and test as servers.
    constexpr DWORD kMultiSession = 0xAF;
    if (info.ProductType == kMultiSession && (info.VersionCode == 13 || info.VersionCode == 15)) {
        info.VersionCode = info.VersionCode == 13 ? 11 : 14;
        info.IsServer = false;
    }

    // Windows 11 kept Windows 10's product name in the registry.
    if (info.VersionCode == 14) {
        const WString::size_type at = info.ProductName.find(W(" 10 "));
        if (at != WString::npos) info.ProductName[at + 2] = W('1');
    }

    info.FullName = info.ProductName;
    if (info.Architecture == 2)
        info.FullName += W(" 64 bits");
    else if (info.Architecture == 3)
        info.FullName += W(" ARM 64");
    if (!info.DisplayVersion.empty())
        info.FullName += W(" Version ") + info.DisplayVersion;
    else if (info.ServicePackMajor != 0)
        info.FullName += W(" Service Pack ") + NumberToWide(static_cast<int>(info.ServicePackMajor));
    else
        info.FullName += W(" Version ") + NumberToWide(static_cast<int>(info.ReleaseId));

    hostlens::os::EditionFacts edition;
    edition.versionCode = info.VersionCode;
    edition.productType = info.ProductType;
    edition.architecture = info.Architecture;
    edition.isServerCore = info.IsServerCore;
    edition.isPersonal = info.IsPersonal;
    edition.isStarter = info.IsStarter;
    edition.isMediaCenter = info.IsMediaCenter;
    info.EditionCode = hostlens::os::EditionCode(edition);
}
