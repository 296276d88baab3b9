// Edition codes: one row per product type the edition tables list, each checked for
// x86, 64-bit, ARM64, Itanium and 32-bit ARM machines, written out from the tables.
#include <gtest/gtest.h>

#include <vector>

#include "os_machine.h"

namespace hostlens::test {
namespace {

struct Version {
    DWORD major;
    DWORD minor;
    BYTE productType;
    DWORD build;
};
const Version kVista{6, 0, 1, 6002};
const Version kServer2008{6, 0, 3, 6003};
const Version kWindows7{6, 1, 1, 7601};
const Version kServer2008R2{6, 1, 3, 7601};
const Version kWindows8{6, 2, 1, 9200};
const Version kServer2012{6, 2, 3, 9200};
const Version kWindows81{6, 3, 1, 9600};
const Version kServer2012R2{6, 3, 3, 9600};
const Version kWindows10{10, 0, 1, 19045};
const Version kServer2016{10, 0, 3, 14393};
const Version kServer2019{10, 0, 3, 17763};
const Version kWindows11{10, 0, 1, 22631};
const Version kServer2022{10, 0, 3, 20348};
const Version kLater{11, 0, 1, 30000};

// Not a product type any table lists.
constexpr DWORD kOther = 0x7777;

class EditionTest : public OsMachineTest {
protected:
    DWORD EditionOn(const Version& version, DWORD productType, Cpu cpu) {
        sim::ResetMachine(DriveC());
        Windows(version.major, version.minor, version.productType, version.build);
        sim::MachineFacts().os.productInfo = productType;
        // An ARM64 process, which every version tells it is on ARM64.
        Native(cpu, cpu == Cpu::Arm64);
        return Record().EditionCode;
    }
};

TEST_F(EditionTest, EveryListedProductTypeOnEachArchitecture) {
    struct Row {
        const Version& version;
        std::vector<DWORD> productTypes;
        DWORD x86, x64, arm64;
    };
    const Row rows[] = {
        {kVista, {0x01, 0x1C}, 33, 38, 0},
        {kVista, {0x03, 0x1A}, 30, 35, 0},
        {kVista, {0x04, 0x1B}, 32, 37, 0},
        {kVista, {0x06, 0x10}, 31, 36, 0},
        {kVista, {0x0B}, 28, 34, 0},
        {kVista, {kOther}, 29, 34, 0},
        {kServer2008, {0x09, 0x13, 0x18, 0x19}, 39, 45, 0},
        {kServer2008, {0x0C, 0x0D, 0x0E}, 106, 107, 0},
        {kServer2008, {kOther}, 39, 40, 0},
        {kWindows7, {0x01, 0x1C, 0x47}, 51, 56, 0},
        {kWindows7, {0x02, 0x05, 0x43}, 47, 52, 0},
        {kWindows7, {0x03, 0x1A, 0x44}, 48, 53, 0},
        {kWindows7, {0x04, 0x1B, 0x46}, 50, 55, 0},
        {kWindows7, {0x06, 0x10, 0x30, 0x31, 0x45, 0x67}, 49, 54, 0},
        {kWindows7, {0x41, 0x58, 0x5A, 0x6B, 0x6C}, 129, 130, 0},
        {kWindows7, {kOther}, 46, 52, 0},
        {kServer2008R2, {0x07, 0x24}, 58, 58, 58},
        {kServer2008R2, {0x08, 0x25}, 60, 60, 60},
        {kServer2008R2, {0x09, 0x22}, 62, 62, 62},
        {kServer2008R2, {0x0A, 0x0F, 0x26}, 59, 59, 59},
        {kServer2008R2, {0x0C, 0x0D, 0x0E, 0x27, 0x28, 0x29}, 108, 108, 108},
        {kServer2008R2, {0x11, 0x1D}, 61, 61, 61},
        {kServer2008R2, {0x32}, 63, 63, 63},
        {kServer2008R2, {kOther}, 57, 57, 57},
        {kWindows8, {0x04, 0x1B, 0x46}, 82, 83, 0},
        {kWindows8, {0x30, 0x31, 0x45, 0x67}, 75, 76, 0},
        {kWindows8, {0x41, 0x58, 0x5A, 0x6B, 0x6C}, 131, 132, 0},
        {kWindows8, {0x56, 0x59, 0x5B, 0x5C, 0x69, 0x6A}, 135, 136, 0},
        {kWindows8, {kOther}, 73, 74, 0},
        {kWindows81, {0x04, 0x1B, 0x46}, 88, 89, 0},
        {kWindows81, {0x30, 0x31, 0x45, 0x67}, 86, 87, 0},
        {kWindows81, {0x41, 0x56, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x69, 0x6A, 0x6B, 0x6C}, 137, 138, 0},
        {kWindows81, {kOther}, 84, 85, 0},
        {kWindows10, {0x04, 0x1B, 0x46, 0x48, 0x54, 0x7D, 0x7E, 0x81, 0x82, 0x8C, 0x8D}, 99, 100, 144},
        {kWindows10, {0x30, 0x31, 0x67, 0xA1, 0xA2}, 97, 98, 144},
        {kWindows10, {0x79, 0x7A, 0xA4, 0xA5}, 121, 122, 143},
        {kWindows10, {0xAF}, 145, 146, 144},
        {kWindows10, {0xB9, 0xBB}, 139, 140, 143},
        {kWindows10, {0xBC, 0xBF}, 141, 142, 143},
        {kWindows10, {kOther}, 95, 96, 143},
    };
    // Windows 11 and later versions share a table.
    std::vector<Row> all(std::begin(rows), std::end(rows));
    for (const Version* version : {&kWindows11, &kLater}) {
        all.push_back(
            {*version, {0x04, 0x1B, 0x46, 0x48, 0x54, 0x7D, 0x7E, 0x81, 0x82, 0x8C, 0x8D}, 0, 152, 151});
        all.push_back({*version, {0x30, 0x31, 0x67, 0xA1, 0xA2}, 0, 150, 151});
        all.push_back({*version, {0x79, 0x7A, 0xA4, 0xA5}, 0, 149, 157});
        all.push_back({*version, {0xAF}, 0, 153, 151});
        all.push_back({*version, {kOther}, 0, 147, 148});
    }
    // Server versions from 2012 on go by the product type alone.
    struct ServerRow {
        const Version& version;
        DWORD standard, datacenter, enterprise, web, essentials, other;
    };
    const ServerRow servers[] = {
        {kServer2012, 80, 81, 77, 78, 79, 77},       {kServer2012R2, 93, 94, 90, 91, 92, 90},
        {kServer2016, 101, 105, 102, 103, 104, 101}, {kServer2019, 112, 113, 112, 112, 112, 112},
        {kServer2022, 154, 155, 154, 154, 154, 154},
    };
    for (const ServerRow& s : servers) {
        all.push_back({s.version, {0x07, 0x24}, s.standard, s.standard, s.standard});
        all.push_back({s.version, {0x08, 0x25}, s.datacenter, s.datacenter, s.datacenter});
        all.push_back({s.version, {0x0A, 0x0F, 0x26}, s.enterprise, s.enterprise, s.enterprise});
        all.push_back({s.version, {0x21}, s.web, s.web, s.web});
        all.push_back({s.version, {0x32}, s.essentials, s.essentials, s.essentials});
        all.push_back({s.version, {kOther}, s.other, s.other, s.other});
    }
    for (const Row& row : all) {
        for (DWORD productType : row.productTypes) {
            SCOPED_TRACE(testing::Message() << row.version.major << "." << row.version.minor << " type "
                                            << row.version.productType << " build " << row.version.build
                                            << ", product type 0x" << std::hex << productType);
            EXPECT_EQ(EditionOn(row.version, productType, Cpu::X86), row.x86);
            EXPECT_EQ(EditionOn(row.version, productType, Cpu::X64), row.x64);
            EXPECT_EQ(EditionOn(row.version, productType, Cpu::Arm64), row.arm64);
            // Itanium is 64-bit; 32-bit ARM is no column, so 0 where a table goes by the
            // architecture (the server tables do not).
            EXPECT_EQ(EditionOn(row.version, productType, Cpu::Ia64), row.x64);
            const bool byArchitecture = row.x86 != row.x64 || row.x64 != row.arm64;
            EXPECT_EQ(EditionOn(row.version, productType, Cpu::Arm), byArchitecture ? 0 : row.x86);
        }
    }
}

TEST_F(EditionTest, WindowsSevenEmbeddedIsPosReadyWhenItsKeyExists) {
    for (DWORD productType : {0x41u, 0x58u, 0x5Au, 0x6Bu, 0x6Cu}) {
        for (auto [cpu, edition] : {std::pair{Cpu::X86, 127u}, {Cpu::X64, 128u}, {Cpu::Arm64, 0u}}) {
            sim::ResetMachine(DriveC());
            Windows(6, 1, 1, 7601);
            CreateMachineKey(u"SOFTWARE\\Microsoft\\POSReady");
            sim::MachineFacts().os.productInfo = productType;
            Native(cpu, cpu == Cpu::Arm64);
            EXPECT_EQ(Record().EditionCode, edition) << std::hex << productType;
        }
    }
}

// From Server 2012 on, a server without the full graphical shell has its server-core
// code, whatever its product type.
TEST_F(EditionTest, ServerCoreByTheServerLevels) {
    const std::u16string kLevels = kCurrentVersion + u"\\Server\\ServerLevels";
    struct Levels {
        std::vector<std::pair<const char16_t*, DWORD>> set;
        bool core;
    };
    const Levels levels[] = {
        {{{u"ServerCore", 1}}, true},
        {{{u"Server-Gui-Mgmt", 1}}, true},
        {{{u"NanoServer", 1}}, true},
        {{{u"ServerCore", 1}, {u"Server-Gui-Shell", 1}}, false},
        {{{u"ServerCore", 1}, {u"Server-Gui-Mgmt", 1}, {u"Server-Gui-Shell", 1}}, false},
        {{{u"Server-Gui-Shell", 1}}, false},
        {{{u"ServerCore", 2}}, false},
        {{}, false},
    };
    const std::pair<const Version*, DWORD> versions[] = {{&kServer2012, 109},
                                                         {&kServer2012R2, 110},
                                                         {&kServer2016, 111},
                                                         {&kServer2019, 114},
                                                         {&kServer2022, 156}};
    for (const Levels& l : levels) {
        for (const auto& [version, coreCode] : versions) {
            for (DWORD productType : {0x07u, 0x08u, 0x32u, kOther}) {
                sim::ResetMachine(DriveC());
                Windows(version->major, version->minor, 3, version->build);
                for (const auto& [name, value] : l.set) SetDword(name, value, kLevels);
                sim::MachineFacts().os.productInfo = productType;
                OperatingSystemRecord record = Record();
                EXPECT_EQ(record.IsServerCore, l.core);
                EXPECT_EQ(record.EditionCode == coreCode, l.core) << std::hex << productType;
            }
        }
    }
    // A level written as text is not set; workstations have no server core.
    sim::ResetMachine(DriveC());
    Windows(10, 0, 3, 17763);
    SetString(u"ServerCore", u"1", kLevels);
    EXPECT_FALSE(Record().IsServerCore);
    sim::ResetMachine(DriveC());
    Windows(10, 0, 1, 19045);
    SetDword(u"ServerCore", 1, kLevels);
    EXPECT_FALSE(Record().IsServerCore);
}

TEST_F(EditionTest, WindowsXpAndServer2003BySuitesKeysAndFlags) {
    struct Case {
        const char* what;
        DWORD minor;
        BYTE productType;
        WORD suites;
        std::vector<const char16_t*> keys;  // below HKLM\SYSTEM\WPA
        std::vector<int> metrics;           // set to 1
        Cpu cpu;
        DWORD edition;
    };
    constexpr WORD kEmbedded = 0x0040, kPersonal = 0x0200, kEnterprise = 0x0002, kDatacenter = 0x0080,
                   kBlade = 0x0400, kHomeServer = 0x8000;
    const Case cases[] = {
        {"embedded WEPOS", 1, 1, kEmbedded, {u"WEPOS", u"POSReady", u"WES"}, {}, Cpu::X86, 124},
        {"embedded POSReady", 1, 1, kEmbedded, {u"POSReady", u"WES"}, {}, Cpu::X86, 125},
        {"embedded Standard", 1, 1, kEmbedded, {u"WES"}, {}, Cpu::X86, 126},
        {"embedded", 1, 1, kEmbedded, {}, {}, Cpu::X86, 123},
        {"keys without the embedded suite", 1, 1, 0, {u"WEPOS"}, {}, Cpu::X86, 66},
        {"embedded before home", 1, 1, kEmbedded | kPersonal, {}, {88}, Cpu::X86, 123},
        {"home before starter", 1, 1, kPersonal, {}, {88, 87}, Cpu::X86, 65},
        {"starter before media center", 1, 1, 0, {}, {88, 87}, Cpu::X86, 64},
        {"media center", 1, 1, 0, {}, {87, 86}, Cpu::X86, 67},
        {"professional", 1, 1, 0, {}, {86}, Cpu::X86, 66},
        {"x64 (5.2 workstation)", 2, 1, kPersonal, {}, {}, Cpu::X64, 18},
        {"another architecture", 1, 1, kEmbedded, {u"WEPOS"}, {}, Cpu::Arm, 0},
        {"enterprise before datacenter", 2, 3, kEnterprise | kDatacenter | kBlade, {}, {}, Cpu::X86, 70},
        {"enterprise before datacenter, x64", 2, 3, kEnterprise | kDatacenter, {}, {}, Cpu::X64, 26},
        {"datacenter before blade", 2, 3, kDatacenter | kBlade | kHomeServer, {}, {}, Cpu::X86, 71},
        {"datacenter, x64", 2, 3, kDatacenter | kBlade, {}, {}, Cpu::Ia64, 27},
        {"blade before home server", 2, 3, kBlade | kHomeServer, {}, {}, Cpu::X86, 68},
        {"blade, x64", 2, 3, kBlade, {}, {}, Cpu::X64, 21},
        {"home server", 2, 3, kHomeServer, {}, {}, Cpu::X86, 44},
        {"home server, x64", 2, 3, kHomeServer, {}, {}, Cpu::X64, 25},
        {"standard", 2, 3, 0, {}, {}, Cpu::X86, 69},
        {"standard, x64", 2, 3, 0, {}, {}, Cpu::X64, 25},
        {"standard, another architecture", 2, 3, 0, {}, {}, Cpu::Arm, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::ResetMachine(DriveC());
        Windows(5, c.minor, c.productType, c.minor == 1 ? 2600 : 3790);
        sim::MachineFacts().os.suiteMask = c.suites;
        for (const char16_t* key : c.keys) CreateMachineKey(std::u16string(u"SYSTEM\\WPA\\") + key);
        for (int metric : c.metrics) sim::MachineFacts().os.systemMetrics[metric] = 1;
        Native(c.cpu);
        OperatingSystemRecord record = Record();
        EXPECT_EQ(record.VersionCode, c.productType == 1 ? 1u : 2u);
        EXPECT_EQ(record.EditionCode, c.edition);
    }
}

}  // namespace
}  // namespace hostlens::test
