// Version tests, the edition and the architectures the machine reports, and the
// exports that only later Windows versions have.
#include <gtest/gtest.h>

#include <vector>

#include "support/machine_test.h"

namespace hostlens::test {
namespace {

class SysinfoTest : public MachineTest {};

TEST_F(SysinfoTest, ConditionMaskHoldsOneFieldPerCall) {
    struct Case {
        ULONGLONG before;
        DWORD typeMask;
        BYTE condition;
        ULONGLONG after;
    };
    const Case cases[] = {
        {0, VER_MINORVERSION, VER_EQUAL, 0x1},
        {0, VER_SERVICEPACKMAJOR, VER_GREATER, 0x2 << 15},
        {0, VER_PRODUCT_TYPE, VER_LESS_EQUAL, 0x5ull << 21},
        {0x1, VER_MAJORVERSION, VER_EQUAL, 0x9},                        // ORed into what is there
        {0, VER_MAJORVERSION | VER_MINORVERSION, VER_EQUAL, 0x1 << 3},  // the first field only
        {0, VER_MINORVERSION, 0x0A, 0x2},                               // three bits of the condition
        {0x9, 0, VER_EQUAL, 0x9},                                       // no field
        {0x9, VER_MAJORVERSION, 0, 0x9},                                // no condition
    };
    for (const Case& c : cases)
        EXPECT_EQ(VerSetConditionMask(c.before, c.typeMask, c.condition), c.after)
            << std::hex << c.typeMask << " " << int{c.condition};
}

// One field of a version test: which, the value wanted, the condition.
struct Field {
    DWORD type;
    DWORD value;
    BYTE condition;
};

BOOL Verify(const std::vector<Field>& fields) {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    DWORD typeMask = 0;
    ULONGLONG conditions = 0;
    for (const Field& f : fields) {
        switch (f.type) {
            case VER_MAJORVERSION:
                info.dwMajorVersion = f.value;
                break;
            case VER_MINORVERSION:
                info.dwMinorVersion = f.value;
                break;
            case VER_BUILDNUMBER:
                info.dwBuildNumber = f.value;
                break;
            case VER_PLATFORMID:
                info.dwPlatformId = f.value;
                break;
            case VER_SERVICEPACKMAJOR:
                info.wServicePackMajor = static_cast<WORD>(f.value);
                break;
            case VER_SERVICEPACKMINOR:
                info.wServicePackMinor = static_cast<WORD>(f.value);
                break;
            case VER_SUITENAME:
                info.wSuiteMask = static_cast<WORD>(f.value);
                break;
            case VER_PRODUCT_TYPE:
                info.wProductType = static_cast<BYTE>(f.value);
                break;
        }
        typeMask |= f.type;
        conditions = VerSetConditionMask(conditions, f.type, f.condition);
    }
    SetLastError(0);
    return VerifyVersionInfoW(&info, typeMask, conditions);
}

// On Windows 10 Pro build 19045 (suites: single-user terminal services, terminal), or
// the version a row names.
TEST_F(SysinfoTest, VersionTestsCompareTheVersionLevelByLevelAndTheRestOnItsOwn) {
    constexpr DWORD kMajor = VER_MAJORVERSION, kMinor = VER_MINORVERSION, kSpMajor = VER_SERVICEPACKMAJOR,
                    kSpMinor = VER_SERVICEPACKMINOR, kSuite = VER_SUITENAME, kType = VER_PRODUCT_TYPE;
    const std::vector<Field> above10 = {
        {kMajor, 10, VER_GREATER_EQUAL}, {kMinor, 0, VER_GREATER}, {kSpMajor, 0x7FFF, VER_GREATER}};
    const std::vector<Field> is10 = {{kMajor, 10, VER_EQUAL}, {kMinor, 0, VER_EQUAL}};
    const std::vector<Field> below62 = {{kMajor, 6, VER_LESS}, {kMinor, 2, VER_LESS}};
    struct Case {
        DWORD major, minor;
        std::vector<Field> test;
        bool passes;
    };
    const Case cases[] = {
        {10, 0, above10, false},
        {10, 1, above10, true},
        {11, 0, above10, true},  // the major level decides
        {6, 3, above10, false},
        {10, 0, is10, true},
        {10, 1, is10, false},
        {6, 0, is10, false},
        {6, 1, below62, true},
        {6, 2, below62, false},
        {5, 9, below62, true},
        {10, 0, {{kMajor, 6, VER_GREATER_EQUAL}, {kMinor, 1, VER_GREATER_EQUAL}}, true},
        {10, 0, {{kSpMajor, 0, VER_EQUAL}, {kSpMinor, 0, VER_EQUAL}}, true},
        {10, 0, {{kSpMajor, 1, VER_EQUAL}, {kSpMinor, 0, VER_EQUAL}}, false},
        {10, 0, {{kSuite, VER_SUITE_SINGLEUSERTS | VER_SUITE_TERMINAL, VER_AND}}, true},
        {10, 0, {{kSuite, VER_SUITE_TERMINAL | VER_SUITE_PERSONAL, VER_AND}}, false},
        {10, 0, {{kSuite, VER_SUITE_TERMINAL | VER_SUITE_PERSONAL, VER_OR}}, true},
        {10, 0, {{kSuite, VER_SUITE_PERSONAL | VER_SUITE_BLADE, VER_OR}}, false},
        {10, 0, {{kSuite, 0, VER_AND}}, true},
        {10, 0, {{kSuite, 0, VER_OR}}, true},
        {10, 0, {{kType, VER_NT_WORKSTATION, VER_EQUAL}}, true},
        {10, 0, {{kType, VER_NT_SERVER, VER_LESS}}, true},
        {10, 0, {{kType, VER_NT_SERVER, VER_EQUAL}}, false},
        {10, 0, {{VER_BUILDNUMBER, 19045, VER_GREATER_EQUAL}}, true},
        {10, 0, {{VER_BUILDNUMBER, 22000, VER_GREATER_EQUAL}}, false},
        {10, 0, {{VER_PLATFORMID, VER_PLATFORM_WIN32_NT, VER_EQUAL}}, true},
        {10,
         0,
         {{VER_PLATFORMID, VER_PLATFORM_WIN32_NT, VER_EQUAL}, {kType, VER_NT_SERVER, VER_EQUAL}},
         false},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << row++);
        sim::MachineFacts().os.major = c.major;
        sim::MachineFacts().os.minor = c.minor;
        EXPECT_EQ(Verify(c.test), c.passes ? TRUE : FALSE);
        EXPECT_EQ(GetLastError(), c.passes ? 0u : static_cast<DWORD>(ERROR_OLD_WIN_VERSION));
    }
    sim::MachineFacts().os.platformId = VER_PLATFORM_WIN32_WINDOWS;
    EXPECT_FALSE(Verify({{VER_PLATFORMID, VER_PLATFORM_WIN32_NT, VER_EQUAL}}));
}

TEST_F(SysinfoTest, MalformedVersionTestsAreBadArguments) {
    OSVERSIONINFOEXW info{};
    const ULONGLONG major = VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL);
    struct Case {
        OSVERSIONINFOEXW* info;
        DWORD typeMask;
        ULONGLONG conditions;
    };
    const Case cases[] = {
        {&info, 0, major},                                    // no type mask
        {&info, VER_MAJORVERSION, 0},                         // no condition mask
        {&info, VER_MAJORVERSION | VER_MINORVERSION, major},  // a field without a condition
        {&info, VER_MAJORVERSION, VerSetConditionMask(0, VER_MAJORVERSION, VER_AND)},
        {&info, VER_SUITENAME, VerSetConditionMask(0, VER_SUITENAME, VER_EQUAL)},
        {nullptr, VER_MAJORVERSION, major},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(VerifyVersionInfoW(c.info, c.typeMask, c.conditions)) << c.typeMask;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_ARGUMENTS)) << c.typeMask;
    }
}

TEST_F(SysinfoTest, ProductInfoIsTheMachinesForAnyVersionFromVista) {
    sim::MachineFacts().os.productInfo = 0x79;
    for (DWORD version : {0u, 5u, 6u, 10u, 11u, 0xABCDABCDu}) {
        DWORD productType = 0x77;
        SetLastError(12345);
        EXPECT_EQ(GetProductInfo(version, 1, 0, 0, &productType), version >= 6 ? TRUE : FALSE);
        EXPECT_EQ(productType, version >= 6 ? 0x79u : 0u) << version;
        EXPECT_EQ(GetLastError(), 12345u);
    }
    EXPECT_FALSE(GetProductInfo(10, 0, 0, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(SysinfoTest, ArchitecturesOfTheMachineAndTheProcess) {
    using sim::Processor;
    constexpr WORD kX86 = PROCESSOR_ARCHITECTURE_INTEL, kX64 = PROCESSOR_ARCHITECTURE_AMD64,
                   kArm64 = PROCESSOR_ARCHITECTURE_ARM64, kIa64 = PROCESSOR_ARCHITECTURE_IA64,
                   kArm = PROCESSOR_ARCHITECTURE_ARM;
    constexpr USHORT kI386 = IMAGE_FILE_MACHINE_I386;
    struct Case {
        bool native64;
        Processor native;
        bool process64;
        Processor process;
        bool x64Emulation;
        WORD system, nativeSystem;  // what GetSystemInfo and GetNativeSystemInfo tell
        USHORT processMachine, nativeMachine;
    };
    const Case cases[] = {
        {false, Processor::X86, false, Processor::X86, false, kX86, kX86, 0, kI386},
        {false, Processor::Arm, false, Processor::Arm, false, kArm, kArm, 0, IMAGE_FILE_MACHINE_ARMNT},
        {true, Processor::X64, false, Processor::X86, false, kX86, kX64, kI386, IMAGE_FILE_MACHINE_AMD64},
        {true, Processor::X64, true, Processor::X64, false, kX64, kX64, 0, IMAGE_FILE_MACHINE_AMD64},
        {true, Processor::Ia64, false, Processor::X86, false, kX86, kIa64, kI386, IMAGE_FILE_MACHINE_IA64},
        {true, Processor::Ia64, true, Processor::Ia64, false, kIa64, kIa64, 0, IMAGE_FILE_MACHINE_IA64},
        // ARM64 tells an emulated process the machine it emulates.
        {true, Processor::Arm64, false, Processor::X86, false, kX86, kX86, kI386, IMAGE_FILE_MACHINE_ARM64},
        {true, Processor::Arm64, false, Processor::X86, true, kX86, kX64, kI386, IMAGE_FILE_MACHINE_ARM64},
        {true, Processor::Arm64, true, Processor::X64, true, kX64, kX64, 0, IMAGE_FILE_MACHINE_ARM64},
        {true, Processor::Arm64, true, Processor::Arm64, true, kArm64, kArm64, 0, IMAGE_FILE_MACHINE_ARM64},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << row++);
        sim::Facts& facts = sim::MachineFacts();
        facts.native64 = c.native64;
        (c.native64 ? facts.native64Processor : facts.native32Processor) = c.native;
        facts.process64 = c.process64;
        facts.process64Processor = c.process;
        facts.x64Emulation = c.x64Emulation;
        SYSTEM_INFO system{};
        GetSystemInfo(&system);
        EXPECT_EQ(system.wProcessorArchitecture, c.system);
        GetNativeSystemInfo(&system);
        EXPECT_EQ(system.wProcessorArchitecture, c.nativeSystem);
        USHORT processMachine = 0xFFFF, nativeMachine = 0xFFFF;
        EXPECT_TRUE(IsWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine));
        EXPECT_EQ(processMachine, c.processMachine);
        EXPECT_EQ(nativeMachine, c.nativeMachine);
    }
    USHORT processMachine = 7;
    EXPECT_FALSE(IsWow64Process2(nullptr, &processMachine, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(IsWow64Process2(GetCurrentProcess(), &processMachine, nullptr))
        << "no native machine asked for";
}

// Exports that came with later versions are missing before them; missingExports hides
// more on top.
TEST_F(SysinfoTest, SystemExportsFollowTheVersion) {
    struct Case {
        DWORD major, minor, build;
        bool vista, windows10Version1511;
    };
    const Case cases[] = {{5, 1, 2600, false, false},  {5, 2, 3790, false, false}, {6, 0, 6002, true, false},
                          {10, 0, 10240, true, false}, {10, 0, 10586, true, true}, {11, 0, 0, true, true}};
    HMODULE kernel32 = GetModuleHandleW(W("Kernel32.dll"));
    ASSERT_NE(kernel32, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor << "." << c.build);
        sim::OsFacts& os = sim::MachineFacts().os;
        std::tie(os.major, os.minor, os.build) = std::tie(c.major, c.minor, c.build);
        EXPECT_EQ(GetProcAddress(kernel32, "GetTickCount64") != nullptr, c.vista);
        EXPECT_EQ(GetProcAddress(kernel32, "GetProductInfo") != nullptr, c.vista);
        EXPECT_EQ(GetProcAddress(kernel32, "IsWow64Process2") != nullptr, c.windows10Version1511);
        EXPECT_NE(GetProcAddress(kernel32, "VerifyVersionInfoW"), nullptr);
    }
    sim::HideSystemExport("kernel32", "GetProductInfo");
    EXPECT_EQ(GetProcAddress(kernel32, "GetProductInfo"), nullptr);
    EXPECT_NE(GetProcAddress(kernel32, "IsWow64Process2"), nullptr);
}

}  // namespace
}  // namespace hostlens::test
