// The operating-system record on machines built in code: the version code from the
// version tests and the registry's build number, the names, the architecture, and
// the shared record's life.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>
#include <vector>

#include "os_machine.h"

namespace hostlens::test {
namespace {

class OperatingSystemTest : public OsMachineTest {};

TEST_F(OperatingSystemTest, VersionCodeComesFromTheVersionTestsAndTheRegistrysBuild) {
    struct Case {
        DWORD major, minor;
        BYTE productType;
        DWORD trueBuild;
        const char16_t* registryBuild;  // "CurrentBuildNumber"; null: absent
        DWORD code;
    };
    const Case cases[] = {
        {5, 1, 1, 2600, u"2600", 1},
        {5, 2, 1, 3790, u"3790", 1},
        {5, 2, 3, 3790, u"3790", 2},
        {6, 0, 1, 6002, u"6002", 3},
        {6, 0, 2, 6002, u"6002", 4},
        {6, 1, 1, 7601, u"7601", 5},
        {6, 1, 3, 7601, u"7601", 6},
        {6, 2, 1, 9200, u"9200", 7},
        {6, 2, 3, 9200, u"9200", 8},
        {6, 3, 1, 9600, u"9600", 9},
        {6, 3, 3, 9600, u"9600", 10},
        {10, 0, 1, 19045, u"21999", 11},
        {10, 0, 1, 19045, u"22000", 14},
        {10, 0, 1, 22631, u"19045", 11},  // the registry's build decides
        {10, 0, 1, 22631, nullptr, 11},
        {10, 0, 1, 22631, u"abc", 11},
        {10, 0, 1, 22631, u"-1", 14},           // _wtoi: -1, build 4294967295
        {10, 0, 1, 19045, u" 22000", 14},       // white space before the number
        {10, 0, 1, 19045, u"99999999999", 14},  // saturated at 2147483647
        {10, 0, 3, 14393, u"17622", 12},
        {10, 0, 3, 14393, u"17623", 13},
        {10, 0, 3, 20348, u"20347", 13},
        {10, 0, 3, 17763, u"20348", 15},
        {10, 0, 3, 17763, nullptr, 12},
        {10, 1, 1, 30000, u"30000", 1000},
        {11, 0, 3, 30000, u"30000", 1000},
        {12, 0, 1, 30000, u"30000", 1000},
        {6, 4, 1, 9841, u"9841", 0},
        {5, 0, 1, 2195, u"2195", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor << " type " << int{c.productType}
                                        << " build " << Utf8(c.registryBuild ? c.registryBuild : u"(none)"));
        sim::ResetMachine(DriveC());
        Windows(c.major, c.minor, c.productType, c.trueBuild);
        if (c.registryBuild)
            SetString(u"CurrentBuildNumber", c.registryBuild);
        else
            RemoveValue(u"CurrentBuildNumber");
        OperatingSystemRecord record = Record();
        EXPECT_EQ(record.VersionCode, c.code);
        EXPECT_EQ(record.IsServer, c.productType != 1);
        EXPECT_EQ(record.IsWindows, 1u);
    }
    // Windows 9x fails the NT test: nothing is filled in.
    sim::MachineFacts().os.platformId = VER_PLATFORM_WIN32_WINDOWS;
    SetString(u"ProductName", u"Windows 98");
    OperatingSystemRecord record = Record();
    EXPECT_EQ(record.IsWindows, 0u);
    EXPECT_EQ(record.VersionCode, 0u);
    EXPECT_EQ(record.Architecture, 0u);
    EXPECT_EQ(record.FullName, W(""));
}

// What the registry says about the release, and the full name made of it.
TEST_F(OperatingSystemTest, NamesAndReleasesComeFromTheRegistry) {
    struct Machine {
        DWORD major, minor, build;
        WORD servicePack;  // what the version tests find
        Cpu cpu;
    };
    struct Value {
        const char16_t* name;
        const char16_t* text;
    };
    struct Expected {
        WORD servicePack, releaseId;
        const WCHAR* displayVersion;
        const WCHAR* fullName;
    };
    struct Case {
        Machine machine;
        std::vector<Value> values;
        Expected expected;
    };
    const Machine windows10{10, 0, 19045, 0, Cpu::X64}, windows11{10, 0, 22631, 0, Cpu::X64},
        windows81{6, 3, 9600, 0, Cpu::X86};
    const Case cases[] = {
        {windows10,
         {{u"ProductName", u"Windows 10 Pro"}, {u"DisplayVersion", u"22H2"}, {u"ReleaseId", u"2009"}},
         {0, 0, W("22H2"), W("Windows 10 Pro 64 bits Version 22H2")}},
        {windows11,
         {{u"ProductName", u"Windows 10 Pro 10 N"}, {u"DisplayVersion", u"23H2"}},
         {0, 0, W("23H2"), W("Windows 11 Pro 10 N 64 bits Version 23H2")}},  // the first " 10 " only
        {windows11, {{u"ProductName", u"Windows 10"}}, {0, 0, W(""), W("Windows 10 64 bits Version 0")}},
        {{10, 0, 22631, 0, Cpu::Arm64},
         {{u"ProductName", u"Windows 10 Enterprise"}, {u"DisplayVersion", u"24H2"}},
         {0, 0, W("24H2"), W("Windows 11 Enterprise ARM 64 Version 24H2")}},
        // An empty display version stands for the release too.
        {windows10,
         {{u"DisplayVersion", u""}, {u"ReleaseId", u"2004"}},
         {0, 0, W(""), W(" 64 bits Version 0")}},
        {windows10,
         {{u"ReleaseId", u"1809"}, {u"CSDVersion", u"Service Pack 4"}},
         {0, 1809, W(""), W(" 64 bits Version 1809")}},
        {windows81, {{u"ReleaseId", u"99999999999"}}, {0, 65535, W(""), W(" Version 65535")}},
        {windows81, {{u"ReleaseId", u"-1"}}, {0, 65535, W(""), W(" Version 65535")}},
        {windows81, {{u"ProductName", u"Windows 8.1 Pro"}}, {0, 0, W(""), W("Windows 8.1 Pro Version 0")}},
        // The service pack the version tests find, over "CSDVersion", up to 6.1.
        {{6, 1, 7601, 1, Cpu::X64},
         {{u"ProductName", u"Windows 7 Professional"}, {u"CSDVersion", u"Service Pack 1"}},
         {1, 0, W(""), W("Windows 7 Professional 64 bits Service Pack 1")}},
        {{5, 1, 2600, 2, Cpu::X86},
         {{u"CSDVersion", u"Service Pack 3"}},
         {2, 0, W(""), W(" Service Pack 2")}},
        {{6, 0, 6002, 0, Cpu::X86}, {{u"CSDVersion", u"Service Pack 2"}}, {0, 0, W(""), W(" Version 0")}},
        {{6, 2, 9200, 0, Cpu::X86},
         {{u"CSDVersion", u"Service Pack 2, v.721"}},
         {2, 0, W(""), W(" Service Pack 2")}},
        {{6, 2, 9200, 0, Cpu::X86}, {{u"CSDVersion", u"Service Pack"}}, {0, 0, W(""), W(" Version 0")}},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << row++);
        sim::ResetMachine(DriveC());
        Windows(c.machine.major, c.machine.minor, 1, c.machine.build);
        sim::MachineFacts().os.servicePackMajor = c.machine.servicePack;
        for (const Value& value : c.values) SetString(value.name, value.text);
        Native(c.machine.cpu);
        OperatingSystemRecord record = Record();
        EXPECT_EQ(record.ServicePackMajor, c.expected.servicePack);
        EXPECT_EQ(record.ReleaseId, c.expected.releaseId);
        EXPECT_EQ(record.DisplayVersion, c.expected.displayVersion);
        EXPECT_EQ(record.FullName, c.expected.fullName);
        EXPECT_EQ(record.FullName.substr(0, record.ProductName.size()), record.ProductName);
    }
}

// Where the version tests find no version, the registry's version decides whether the
// service pack is probed: seen through a "CSDVersion" that the probe overwrites.
TEST_F(OperatingSystemTest, TheRegistrysVersionIsReadAsNumbersOrAsText) {
    struct Case {
        const char16_t* currentVersion;
        std::optional<DWORD> majorNumber;  // "CurrentMajorVersionNumber", REG_DWORD
        const char16_t* majorText;         // ... as REG_SZ
        WORD servicePack;
    };
    const Case cases[] = {
        {u"6.1", std::nullopt, nullptr, 1}, {u"5.2", std::nullopt, nullptr, 1},
        {u"6", std::nullopt, nullptr, 1},   {u"6.2", std::nullopt, nullptr, 3},
        {u"", std::nullopt, nullptr, 3},    {u"abc", std::nullopt, nullptr, 3},
        {u"6.1", 10, nullptr, 3},           {u"6.1", std::nullopt, u"6", 1},  // text is no number
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.currentVersion));
        sim::ResetMachine(DriveC());
        Windows(6, 4, 1, 9841);  // no version test passes
        if (c.majorNumber) SetDword(u"CurrentMajorVersionNumber", *c.majorNumber);
        if (c.majorText) SetString(u"CurrentMajorVersionNumber", c.majorText);
        SetString(u"CurrentVersion", c.currentVersion);
        SetString(u"CSDVersion", u"Service Pack 3");
        sim::MachineFacts().os.servicePackMajor = 1;
        EXPECT_EQ(Record().ServicePackMajor, c.servicePack);
    }
}

// Windows 10 and 11 Enterprise multi-session (product type 0xAF) test as servers.
TEST_F(OperatingSystemTest, MultiSessionIsAWorkstation) {
    struct Case {
        DWORD build, code;
        bool server;
        DWORD edition;
        const WCHAR* productName;
    };
    const Case cases[] = {
        {14393, 12, true, 101, W("Windows 10 Enterprise multi-session")},
        {17763, 11, false, 146, W("Windows 10 Enterprise multi-session")},
        {20348, 14, false, 153, W("Windows 11 Enterprise multi-session")},
    };
    for (const Case& c : cases) {
        sim::ResetMachine(DriveC());
        Windows(10, 0, 3, c.build);
        SetString(u"ProductName", u"Windows 10 Enterprise multi-session");
        sim::MachineFacts().os.productInfo = 0xAF;
        OperatingSystemRecord record = Record();
        EXPECT_EQ(record.VersionCode, c.code) << c.build;
        EXPECT_EQ(record.IsServer, c.server) << c.build;
        EXPECT_EQ(record.EditionCode, c.edition) << c.build;
        EXPECT_EQ(record.ProductName, c.productName) << c.build;
    }
}

TEST_F(OperatingSystemTest, ArchitectureFromIsWow64Process2OrTheNativeSystemInformation) {
    enum Lookup { kPresent, kMissing, kFailing };
    struct Case {
        Cpu native;
        bool x64Emulation;
        Lookup isWow64Process2;
        DWORD build, architecture;
    };
    const Case cases[] = {
        {Cpu::X64, false, kPresent, 19045, 2},   {Cpu::X64, false, kMissing, 19045, 2},
        {Cpu::X64, false, kFailing, 19045, 2},   {Cpu::X86, false, kPresent, 19045, 1},
        {Cpu::X86, false, kMissing, 19045, 1},   {Cpu::Arm64, false, kPresent, 19045, 3},
        {Cpu::Arm64, true, kPresent, 19045, 3},  // the native information says x64
        {Cpu::Arm64, true, kMissing, 19045, 2},  {Cpu::Arm64, true, kPresent, 10240, 2},  // before 1511
        {Cpu::Arm64, false, kFailing, 19045, 1}, {Cpu::Ia64, false, kMissing, 7601, 2},
        {Cpu::Arm, false, kPresent, 19045, 0},  // 32-bit ARM is no architecture of the record
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << row++);
        sim::ResetMachine(DriveC());
        Windows(10, 0, 1, c.build);
        Native(c.native);
        sim::MachineFacts().x64Emulation = c.x64Emulation;
        if (c.isWow64Process2 == kMissing) sim::HideSystemExport("kernel32", "IsWow64Process2");
        if (c.isWow64Process2 == kFailing) sim::FailCall("IsWow64Process2", 1, ERROR_ACCESS_DENIED);
        EXPECT_EQ(Record().Architecture, c.architecture);
    }
    // Without GetProductInfo the product type is 0.
    sim::ResetMachine(DriveC());
    Windows(10, 0, 1, 19045);
    sim::HideSystemExport("kernel32", "GetProductInfo");
    EXPECT_EQ(Record().EditionCode, 96u) << "Windows 10, any other product type, x64";
}

TEST_F(OperatingSystemTest, OneFillPerLivePeriodWhateverTheThreads) {
    Windows(10, 0, 1, 19045);
    const unsigned fills = sim::CallCount("GetProductInfo");
    std::optional<COperatingSystem> holder;
    holder.emplace();
    EXPECT_EQ(holder->SharedRecord().EditionCode, 98u);

    // Threads constructing while one object lives see its record, not the machine's change.
    sim::MachineFacts().os.productInfo = 0x04;
    auto inThreads = [](auto body) {
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i) threads.emplace_back(body);
        for (std::thread& thread : threads) thread.join();
    };
    std::atomic<int> seen{0};
    inThreads([&] {
        for (int round = 0; round < 20; ++round) seen += COperatingSystem().CopyRecord().EditionCode == 98;
    });
    EXPECT_EQ(seen, 8 * 20);
    EXPECT_EQ(sim::CallCount("GetProductInfo"), fills + 1);

    // After the last object goes, the next first constructions, all at once, fill once more.
    holder.reset();
    std::atomic<int> ready{0};
    inThreads([&] {
        COperatingSystem operatingSystem;
        seen += operatingSystem.CopyRecord().EditionCode == 100;
        for (++ready; ready < 8;) std::this_thread::yield();
    });
    EXPECT_EQ(seen, 8 * 20 + 8);
    EXPECT_EQ(sim::CallCount("GetProductInfo"), fills + 2);
}

}  // namespace
}  // namespace hostlens::test
