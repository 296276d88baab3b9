#include "os/edition_codes.h"

#include <vector>

#include "os/current_version.h"
#include "os/version_test.h"

namespace hostlens::os {
namespace {

// A row of a workstation table: the product types it lists and the codes for x86,
// 64-bit and ARM64.
using ProductTypes = std::vector<DWORD>;
using Codes = DWORD[3];

struct Row {
    ProductTypes productTypes;
    Codes codes;
};

struct Table {
    std::vector<Row> rows;
    Codes otherwise;  // any other product type
};

bool Lists(const ProductTypes& productTypes, DWORD productType) {
    for (DWORD listed : productTypes)
        if (listed == productType) return true;
    return false;
}

DWORD ByArchitecture(const Codes& codes, DWORD architecture) {
    return architecture >= 1 && architecture <= 3 ? codes[architecture - 1] : 0;
}

DWORD Lookup(const Table& table, const EditionFacts& facts) {
    for (const Row& row : table.rows)
        if (Lists(row.productTypes, facts.productType)) return ByArchitecture(row.codes, facts.architecture);
    return ByArchitecture(table.otherwise, facts.architecture);
}

const Table kVista = {{
                          {{0x01, 0x1C}, {33, 38, 0}},
                          {{0x03, 0x1A}, {30, 35, 0}},
                          {{0x04, 0x1B}, {32, 37, 0}},
                          {{0x06, 0x10}, {31, 36, 0}},
                          {{0x0B}, {28, 34, 0}},
                      },
                      {29, 34, 0}};

const Table kServer2008 = {{
                               {{0x09, 0x13, 0x18, 0x19}, {39, 45, 0}},
                               {{0x0C, 0x0D, 0x0E}, {106, 107, 0}},
                           },
                           {39, 40, 0}};

const Table kWindows7 = {{
                             {{0x01, 0x1C, 0x47}, {51, 56, 0}},
                             {{0x02, 0x05, 0x43}, {47, 52, 0}},
                             {{0x03, 0x1A, 0x44}, {48, 53, 0}},
                             {{0x04, 0x1B, 0x46}, {50, 55, 0}},
                             {{0x06, 0x10, 0x30, 0x31, 0x45, 0x67}, {49, 54, 0}},
                         },
                         {46, 52, 0}};
// The embedded editions of Windows 7 share their product types; POSReady 7 has its
// own key.
const ProductTypes kEmbedded7 = {0x41, 0x58, 0x5A, 0x6B, 0x6C};
const Codes kEmbeddedStandard7 = {129, 130, 0};
const Codes kPosReady7 = {127, 128, 0};

const Table kWindows8 = {{
                             {{0x04, 0x1B, 0x46}, {82, 83, 0}},
                             {{0x30, 0x31, 0x45, 0x67}, {75, 76, 0}},
                             {{0x41, 0x58, 0x5A, 0x6B, 0x6C}, {131, 132, 0}},
                             {{0x56, 0x59, 0x5B, 0x5C, 0x69, 0x6A}, {135, 136, 0}},
                         },
                         {73, 74, 0}};

const Table kWindows81 = {
    {
        {{0x04, 0x1B, 0x46}, {88, 89, 0}},
        {{0x30, 0x31, 0x45, 0x67}, {86, 87, 0}},
        {{0x41, 0x56, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x69, 0x6A, 0x6B, 0x6C}, {137, 138, 0}},
    },
    {84, 85, 0}};

const Table kWindows10 = {
    {
        {{0x04, 0x1B, 0x46, 0x48, 0x54, 0x7D, 0x7E, 0x81, 0x82, 0x8C, 0x8D}, {99, 100, 144}},
        {{0x30, 0x31, 0x67, 0xA1, 0xA2}, {97, 98, 144}},
        {{0x79, 0x7A, 0xA4, 0xA5}, {121, 122, 143}},
        {{0xAF}, {145, 146, 144}},
        {{0xB9, 0xBB}, {139, 140, 143}},
        {{0xBC, 0xBF}, {141, 142, 143}},
    },
    {95, 96, 143}};

// Windows 11 and every later version.
const Table kWindows11 = {
    {
        {{0x04, 0x1B, 0x46, 0x48, 0x54, 0x7D, 0x7E, 0x81, 0x82, 0x8C, 0x8D}, {0, 152, 151}},
        {{0x30, 0x31, 0x67, 0xA1, 0xA2}, {0, 150, 151}},
        {{0x79, 0x7A, 0xA4, 0xA5}, {0, 149, 157}},
        {{0xAF}, {0, 153, 151}},
    },
    {0, 147, 148}};

// Windows Server 2008 R2: the product type alone.
DWORD Server2008R2(DWORD productType) {
    struct Entry {
        ProductTypes productTypes;
        DWORD code;
    };
    static const Entry entries[] = {
        {{0x07, 0x24}, 58},
        {{0x08, 0x25}, 60},
        {{0x09, 0x22}, 62},
        {{0x0A, 0x0F, 0x26}, 59},
        {{0x0C, 0x0D, 0x0E, 0x27, 0x28, 0x29}, 108},
        {{0x11, 0x1D}, 61},
        {{0x32}, 63},
    };
    for (const Entry& entry : entries)
        if (Lists(entry.productTypes, productType)) return entry.code;
    return 57;
}

// Server versions from 2012 on: the product type, or the server core code whenever
// the server has no full graphical shell.
struct ServerCodes {
    DWORD standard;    // 0x07, 0x24
    DWORD datacenter;  // 0x08, 0x25
    DWORD enterprise;  // 0x0A, 0x0F, 0x26
    DWORD web;         // 0x21
    DWORD essentials;  // 0x32
    DWORD otherwise;
    DWORD core;
};

DWORD Server(const ServerCodes& codes, const EditionFacts& facts) {
    if (facts.isServerCore) return codes.core;
    switch (facts.productType) {
        case 0x07:
        case 0x24:
            return codes.standard;
        case 0x08:
        case 0x25:
            return codes.datacenter;
        case 0x0A:
        case 0x0F:
        case 0x26:
            return codes.enterprise;
        case 0x21:
            return codes.web;
        case 0x32:
            return codes.essentials;
    }
    return codes.otherwise;
}

// Windows XP. The embedded editions are told apart by the keys of their activation.
DWORD WindowsXp(const EditionFacts& facts) {
    if (facts.architecture == 2) return 18;
    if (facts.architecture != 1) return 0;
    const bool embedded = HasSuite(VER_SUITE_EMBEDDEDNT);
    const bool wepos = MachineKeyExists(W("SYSTEM\\WPA\\WEPOS"));
    const bool posReady = MachineKeyExists(W("SYSTEM\\WPA\\POSReady"));
    const bool wes = MachineKeyExists(W("SYSTEM\\WPA\\WES"));
    if (embedded && wepos) return 124;
    if (embedded && posReady) return 125;
    if (embedded && wes) return 126;
    if (embedded) return 123;
    if (facts.isPersonal) return 65;
    if (facts.isStarter) return 64;
    if (facts.isMediaCenter) return 67;
    return 66;
}

// Windows Server 2003, by its suites, tested before the architecture is looked at.
DWORD Server2003(const EditionFacts& facts) {
    const bool enterprise = HasSuite(VER_SUITE_ENTERPRISE);
    const bool datacenter = HasSuite(VER_SUITE_DATACENTER);
    const bool blade = HasSuite(VER_SUITE_BLADE);
    const bool homeServer = HasSuite(VER_SUITE_WH_SERVER);
    if (facts.architecture == 1) {
        if (enterprise) return 70;
        if (datacenter) return 71;
        if (blade) return 68;
        if (homeServer) return 44;
        return 69;
    }
    if (facts.architecture == 2) {
        if (enterprise) return 26;
        if (datacenter) return 27;
        if (blade) return 21;
        return 25;
    }
    return 0;
}

}  // namespace

DWORD EditionCode(const EditionFacts& facts) {
    switch (facts.versionCode) {
        case 1:
            return WindowsXp(facts);
        case 2:
            return Server2003(facts);
        case 3:
            return Lookup(kVista, facts);
        case 4:
            return Lookup(kServer2008, facts);
        case 5: {
            const bool posReady = MachineKeyExists(W("SOFTWARE\\Microsoft\\POSReady"));
            if (Lists(kEmbedded7, facts.productType))
                return ByArchitecture(posReady ? kPosReady7 : kEmbeddedStandard7, facts.architecture);
            return Lookup(kWindows7, facts);
        }
        case 6:
            return Server2008R2(facts.productType);
        case 7:
            return Lookup(kWindows8, facts);
        case 8:
            return Server({80, 81, 77, 78, 79, 77, 109}, facts);
        case 9:
            return Lookup(kWindows81, facts);
        case 10:
            return Server({93, 94, 90, 91, 92, 90, 110}, facts);
        case 11:
            return Lookup(kWindows10, facts);
        case 12:
            return Server({101, 105, 102, 103, 104, 101, 111}, facts);
        case 13:
            return Server({112, 113, 112, 112, 112, 112, 114}, facts);
        case 14:
        case 1000:
            return Lookup(kWindows11, facts);
        case 15:
            return Server({154, 155, 154, 154, 154, 154, 156}, facts);
    }
    return 0;
}

}  // namespace hostlens::os
