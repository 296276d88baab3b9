// The simulated machine's WMI repository and its WQL engine: what a query returns,
// and the codes WMI gives for queries it rejects.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/machine/machine.h"
#include "platform/posix/com/sim_wmi.h"
#include "platform/posix/com/wmi/cim.h"
#include "platform/posix/com/wmi/wql.h"
#include "support/machine_test.h"

namespace hostlens {
namespace {

using sim::WmiArray;
using sim::WmiValue;
namespace cim = sim::cim;
namespace wmi = sim::wmi;

constexpr std::u16string_view kCimV2 = u"ROOT\\CIMV2";

std::u16string U(const std::string& utf8) {
    return sim::detail::Widen(utf8);
}

std::string N(std::u16string_view text) {
    return sim::detail::Narrow(text);
}

wmi::WqlResult Query(const std::string& query, std::u16string_view ns = kCimV2) {
    return wmi::ExecuteWql(wmi::MachineRepository(), ns, U(query));
}

std::string Hex(HRESULT code) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(code));
    return buffer;
}

class WqlTest : public test::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        sim::DefineWmiClass(kCimV2, u"Win32_Gadget",
                            {{u"Name", cim::String},
                             {u"Count", cim::UInt32},
                             {u"Delta", cim::SInt32},
                             {u"Ratio", cim::Real64},
                             {u"Weight", cim::Real32},
                             {u"Enabled", cim::Boolean},
                             {u"Serial", cim::UInt64},
                             {u"Made", cim::DateTime},
                             {u"Tags", cim::String | cim::Array},
                             {u"Initial", cim::Char16},
                             {u"Owner", cim::String}})
            .Instance({{u"Name", u"Alpha"},
                       {u"Count", 1},
                       {u"Delta", -5},
                       {u"Ratio", 0.5},
                       {u"Weight", 0.1},
                       {u"Enabled", true},
                       {u"Serial", std::uint64_t{18446744073709551615ULL}},
                       {u"Made", u"20240102030405.000000+060"},
                       {u"Tags", WmiArray{u"x", u"y"}},
                       {u"Initial", u"A"},
                       {u"Owner", u"ALPHA"}})
            .Instance({{u"Name", u"beta"},
                       {u"Count", 20},
                       {u"Delta", 0},
                       {u"Ratio", 2.5},
                       {u"Weight", 3},
                       {u"Enabled", false},
                       {u"Serial", std::int64_t{9007199254740993}},  // 2^53 + 1: not exact as a double
                       {u"Made", u"20230102030405.000000+000"},
                       {u"Initial", u"b"},
                       {u"Owner", u"Gamma"}})
            .Instance({{u"Name", u"Gamma_1"},
                       {u"Count", 300},
                       {u"Delta", 7},
                       {u"Serial", 0},
                       {u"Tags", WmiArray{}}})
            .Instance({{u"Count", 100},
                       {u"Delta", -1},
                       {u"Ratio", -0.5},
                       {u"Enabled", true},
                       {u"Serial", 5},
                       {u"Owner", u"x"}})
            .Instance({{u"Name", u"100%"}, {u"Count", 100}, {u"Delta", 2}, {u"Ratio", 1}, {u"Serial", 6}});
    }

    // The names of the gadgets a condition selects, in order ("-" for a null name).
    std::string Select(const std::string& condition) {
        auto result = Query("SELECT Name FROM Win32_Gadget WHERE " + condition);
        if (result.code != 0) return "error " + Hex(result.code) + ": " + result.message;
        std::string names;
        for (const auto& row : result.rows) {
            if (!names.empty()) names += ",";
            const auto* name = std::get_if<std::u16string>(&row.at(0));
            names += name ? N(*name) : "-";
        }
        return names;
    }
};

TEST(WqlSyntax, AcceptsAndRejectsLikeWmi) {
    struct Case {
        std::string query;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"SELECT * FROM A", true},
        {"select name, COUNT from a where x = 1", true},
        {"  SELECT\t*\r\nFROM A  ", true},
        {"SELECT * FROM A WHERE x = 'it\\'s'", true},
        {"SELECT * FROM A WHERE x = \"say \\\"hi\\\"\"", true},
        {"SELECT * FROM A WHERE x = 'C:\\\\Windows'", true},
        {"SELECT * FROM A WHERE x = -5 AND y = +5 AND z = 0x1F", true},
        {"SELECT * FROM A WHERE x = 1.5e3 OR x = .5 OR x = 2. OR x = 1E-3", true},
        {"SELECT * FROM A WHERE x = -9223372036854775808 OR x = 18446744073709551615", true},
        {"SELECT * FROM A WHERE x IS NULL OR x IS NOT NULL", true},
        {"SELECT * FROM A WHERE x LIKE 'a%' AND x NOT LIKE '[a-z]_[^0]'", true},
        {"SELECT * FROM A WHERE NOT x = 1 AND NOT NOT y = 2", true},
        {"SELECT * FROM A WHERE ((x = 1))", true},
        {"SELECT * FROM A WHERE x = y", true},
        {"SELECT * FROM A WHERE 1 = x AND 'a' < y", true},
        {"SELECT * FROM A WHERE x = TRUE OR x = false OR x = Null", true},
        {"SELECT * FROM A WHERE x <> 1 OR x != 1 OR x <= 1 OR x >= 1 OR x < 1 OR x > 1", true},
        {"SELECT * FROM A WHERE a=1 AND b=2 OR c=3", true},
        {"SELECT * FROM A WHERE x='\u00e9'", true},
        {"", false},
        {"   ", false},
        {"SELECT", false},
        {"SELECT *", false},
        {"SELECT * FROM", false},
        {"SELECT FROM A", false},
        {"SELECT *, x FROM A", false},
        {"SELECT x, FROM A", false},
        {"SELECT x y FROM A", false},
        {"SELECT * FROM A B", false},
        {"SELECT * FROM A;", false},
        {"SELECT * FROM 'A'", false},
        {"DELETE FROM A", false},
        {"SELECT * FROM A WHERE", false},
        {"SELECT * FROM A WHERE x", false},
        {"SELECT * FROM A WHERE x =", false},
        {"SELECT * FROM A WHERE x = Foo Bar", false},
        {"SELECT * FROM A WHERE x = 1 x", false},
        {"SELECT * FROM A WHERE x = 'unterminated", false},
        {"SELECT * FROM A WHERE x = 'ends in a backslash\\", false},
        {"SELECT * FROM A WHERE x = 1 AND", false},
        {"SELECT * FROM A WHERE NOT", false},
        {"SELECT * FROM A WHERE (x = 1", false},
        {"SELECT * FROM A WHERE x = 1)", false},
        {"SELECT * FROM A WHERE ()", false},
        {"SELECT * FROM A WHERE x == 1", false},
        {"SELECT * FROM A WHERE x ! 1", false},
        {"SELECT * FROM A WHERE x NOT = 1", false},
        {"SELECT * FROM A WHERE x = 12abc", false},
        {"SELECT * FROM A WHERE x = 1.2.3", false},
        {"SELECT * FROM A WHERE x = 0x", false},
        {"SELECT * FROM A WHERE x = 1e", false},
        {"SELECT * FROM A WHERE x = 18446744073709551616", false},
        {"SELECT * FROM A WHERE x = -9223372036854775809", false},
        {"SELECT * FROM A WHERE x = - 'a'", false},
        {"SELECT * FROM A WHERE 1 = 1", false},
        {"SELECT * FROM A WHERE x IS 1", false},
        {"SELECT * FROM A WHERE x IS NOT 5", false},
        {"SELECT * FROM A WHERE NULL IS NULL", false},
        {"SELECT * FROM A WHERE x LIKE 5", false},
        {"SELECT * FROM A WHERE x LIKE y", false},
        {"SELECT * FROM A WHERE x LIKE '[ab'", false},
        {"SELECT * FROM A WHERE x = @", false},
    };
    for (const auto& c : cases) {
        auto result = wmi::CheckWqlSyntax(U(c.query));
        EXPECT_EQ(result.code, c.valid ? 0 : wmi::kWbemInvalidQuery) << c.query << ": " << result.message;
        if (!c.valid) {
            EXPECT_FALSE(result.message.empty()) << c.query;
        }
    }
    std::u16string withNul = u"SELECT * FROM A WHERE x = 1";
    withNul += u'\0';
    EXPECT_EQ(wmi::CheckWqlSyntax(withNul).code, wmi::kWbemInvalidQuery);
}

TEST(WqlSyntax, BoundsLengthAndNesting) {
    std::u16string head = u"SELECT * FROM A WHERE x = '";
    std::u16string longest = head + std::u16string(wmi::kMaxWqlLength - head.size() - 1, u'a') + u"'";
    ASSERT_EQ(longest.size(), wmi::kMaxWqlLength);
    EXPECT_EQ(wmi::CheckWqlSyntax(longest).code, 0);
    longest.insert(head.size(), 1, u'a');
    EXPECT_EQ(wmi::CheckWqlSyntax(longest).code, wmi::kWbemInvalidQuery);

    auto nested = [](const std::u16string& open, const std::u16string& close, std::size_t depth) {
        std::u16string query = u"SELECT * FROM A WHERE ";
        for (std::size_t i = 0; i < depth; ++i) query += open;
        query += u"x = 1";
        for (std::size_t i = 0; i < depth; ++i) query += close;
        return query;
    };
    const std::size_t limit = wmi::kMaxWqlNesting;
    EXPECT_EQ(wmi::CheckWqlSyntax(nested(u"(", u")", limit)).code, 0);
    EXPECT_EQ(wmi::CheckWqlSyntax(nested(u"(", u")", limit + 1)).code, wmi::kWbemInvalidQuery);
    EXPECT_EQ(wmi::CheckWqlSyntax(nested(u"NOT ", u"", limit)).code, 0);
    EXPECT_EQ(wmi::CheckWqlSyntax(nested(u"NOT ", u"", limit + 1)).code, wmi::kWbemInvalidQuery);
    EXPECT_EQ(wmi::CheckWqlSyntax(nested(u"NOT (", u")", limit / 2)).code, 0);
    EXPECT_EQ(wmi::CheckWqlSyntax(nested(u"NOT (", u")", limit / 2 + 1)).code, wmi::kWbemInvalidQuery);
    auto like = [](std::size_t length) {
        return u"SELECT * FROM A WHERE x LIKE '" + std::u16string(length, u'a') + u"'";
    };
    EXPECT_EQ(wmi::CheckWqlSyntax(like(wmi::kMaxLikePattern)).code, 0);
    EXPECT_EQ(wmi::CheckWqlSyntax(like(wmi::kMaxLikePattern + 1)).code, wmi::kWbemInvalidQuery);
    // Sequences do not nest: thousands of ORs side by side are fine.
    std::u16string wide = u"SELECT * FROM A WHERE x = 0";
    for (int i = 0; i < 2500; ++i) wide += u" OR (x = 1)";
    EXPECT_EQ(wmi::CheckWqlSyntax(wide).code, 0);
}

TEST_F(WqlTest, ResultCodesFollowWmi) {
    struct Case {
        std::string query;
        HRESULT code;
    };
    const std::vector<Case> cases = {
        {"SELECT * FROM Win32_Gadget", 0},
        {"SELECT * FROM win32_gadget WHERE NAME = 'x'", 0},
        {"SELECT * FROM Win32_Nothing", wmi::kWbemInvalidClass},
        {"SELECT Nope FROM Win32_Nothing", wmi::kWbemInvalidClass},
        {"SELECT * FROM Win32_Nothing WHERE", wmi::kWbemInvalidQuery},
        {"SELECT Nope FROM Win32_Gadget", wmi::kWbemInvalidQuery},
        {"SELECT Name, Nope FROM Win32_Gadget", wmi::kWbemInvalidQuery},
        {"SELECT * FROM Win32_Gadget WHERE Nope = 1", wmi::kWbemInvalidQuery},
        {"SELECT * FROM Win32_Gadget WHERE Nope IS NULL", wmi::kWbemInvalidQuery},
        {"SELECT * FROM Win32_Gadget WHERE Name = Foo", wmi::kWbemInvalidQuery},
        {"SELECT * FROM Win32_Gadget WHERE Name = Foo Bar", wmi::kWbemInvalidQuery},
        {"SELECT * FROM Win32_Gadget WHERE Count = 'many'", wmi::kWbemInvalidQuery},
        {"SELECT * FROM Win32_Gadget WHERE Initial = 'AB'", wmi::kWbemInvalidQuery},
        {"SELECT * FROM Win32_Gadget WHERE Enabled = 'yes'", wmi::kWbemInvalidQuery},
        {"SELECT * FROM Win32_Gadget WHERE Count LIKE '1%'", wmi::kWbemInvalidQuery},
        {"SELECT * FROM Win32_Gadget WHERE Name = Count", wmi::kWbemInvalidQuery},
        {"SELECT * FROM Win32_Gadget WHERE Enabled = Count", wmi::kWbemInvalidQuery},
        {"SELECT * FROM Win32_Gadget WHERE Tags = 'x'", wmi::kWbemInvalidQuery},
        {"SELECT * FROM Win32_Gadget WHERE Tags = NULL", wmi::kWbemInvalidQuery},
        {"SELECT * FROM Win32_Gadget WHERE Tags LIKE 'x'", wmi::kWbemInvalidQuery},
        {"SELECT * FROM Win32_Gadget WHERE Tags IS NULL", 0},
        {"SELECT Tags FROM Win32_Gadget", 0},
    };
    for (const auto& c : cases) {
        auto result = Query(c.query);
        EXPECT_EQ(Hex(result.code), Hex(c.code)) << c.query << ": " << result.message;
        if (c.code != 0) {
            EXPECT_TRUE(result.rows.empty() && result.properties.empty()) << c.query;
        }
    }
    auto missing = Query("SELECT * FROM Win32_Gadget", u"ROOT\\Nowhere");
    EXPECT_EQ(Hex(missing.code), Hex(wmi::kWbemInvalidNamespace));
}

TEST_F(WqlTest, ComparesLikeWmi) {
    struct Case {
        std::string condition;
        std::string names;
    };
    const std::vector<Case> cases = {
        // Text compares without case; keywords and names too.
        {"Name = 'alpha'", "Alpha"},
        {"name = \"BETA\"", "beta"},
        {"Name <> 'Alpha'", "beta,Gamma_1,100%"},
        {"Name != 'ALPHA'", "beta,Gamma_1,100%"},
        {"Name < 'b'", "Alpha,100%"},
        {"Name >= 'GAMMA'", "Gamma_1"},
        {"Name = 100", ""},
        {"Made > '20231231000000.000000+000'", "Alpha"},
        // Numbers compare by value across signed, unsigned and real.
        {"Count > 10", "beta,Gamma_1,-,100%"},
        {"Count >= 20", "beta,Gamma_1,-,100%"},
        {"Count < 20", "Alpha"},
        {"Count <= 20", "Alpha,beta"},
        {"Count = 20.0", "beta"},
        {"Count = 20.5", ""},
        {"Count = '20'", "beta"},
        {"Count = ' 0x14 '", "beta"},
        {"Count > -1", "Alpha,beta,Gamma_1,-,100%"},
        {"20 < Count", "Gamma_1,-,100%"},
        {"300 <= Count", "Gamma_1"},
        {"Delta < 0", "Alpha,-"},
        {"Delta = -5", "Alpha"},
        {"Delta > -0x2", "beta,Gamma_1,-,100%"},
        {"Serial = 18446744073709551615", "Alpha"},
        {"Serial > 9223372036854775807", "Alpha"},
        {"Serial = 9007199254740992", ""},
        {"Serial = 9007199254740993", "beta"},
        {"Serial > 9007199254740992.0", "Alpha,beta"},
        {"Serial = 5.0", "-"},
        {"Ratio < 0", "-"},
        {"Ratio = 2.5", "beta"},
        {"Ratio > 1e0", "beta"},
        {"Ratio = 1", "100%"},
        {"Weight = 0.1", "Alpha"},
        {"Weight = 3", "beta"},
        {"Initial = 'A'", "Alpha"},
        {"Initial = 'a'", ""},
        {"Initial = 98", "beta"},
        // Booleans.
        {"Enabled = TRUE", "Alpha,-"},
        {"Enabled = false", "beta"},
        {"Enabled <> TRUE", "beta"},
        {"Enabled = 1", "Alpha,-"},
        {"Enabled = 'true'", "Alpha,-"},
        {"Count = TRUE", "Alpha"},
        // Nulls: only IS [NOT] NULL finds them; every comparison with null is false.
        {"Ratio IS NULL", "Gamma_1"},
        {"Ratio IS NOT NULL", "Alpha,beta,-,100%"},
        {"Name IS NULL", "-"},
        {"Name = NULL", ""},
        {"Name <> NULL", ""},
        {"NULL = Name", ""},
        {"NOT Name = NULL", "Alpha,beta,Gamma_1,-,100%"},
        {"Enabled <> FALSE", "Alpha,-"},
        {"NOT Enabled = FALSE", "Alpha,Gamma_1,-,100%"},
        {"Tags IS NULL", "beta,-,100%"},
        {"Tags IS NOT NULL", "Alpha,Gamma_1"},
        // Property against property.
        {"Name = Owner", "Alpha"},
        {"Name <> Owner", "beta"},
        {"Count > Delta", "Alpha,beta,Gamma_1,-,100%"},
        {"Ratio < Count", "Alpha,beta,-,100%"},
        // Precedence: NOT, then AND, then OR.
        {"Name = 'Alpha' OR Name = 'beta' AND Count = 300", "Alpha"},
        {"(Name = 'Alpha' OR Name = 'beta') AND Count = 20", "beta"},
        {"NOT Name = 'Alpha' AND Count = 20", "beta"},
        {"NOT (Name = 'beta' OR Count = 1)", "Gamma_1,-,100%"},
        {"Count = 1 OR Count = 20 OR Count = 300 AND NOT Delta = 7", "Alpha,beta"},
        {"NOT NOT Name = 'beta'", "beta"},
        {"((Delta > 0)) AND (Count = 100 OR (Name LIKE 'g%'))", "Gamma_1,100%"},
    };
    for (const auto& c : cases) EXPECT_EQ(Select(c.condition), c.names) << c.condition;
}

TEST_F(WqlTest, LikeMatchesWmiPatterns) {
    struct Case {
        std::string pattern;
        std::string names;
    };
    const std::vector<Case> cases = {
        {"a%", "Alpha"},
        {"%A%", "Alpha,beta,Gamma_1"},
        {"%", "Alpha,beta,Gamma_1,100%"},
        {"%%", "Alpha,beta,Gamma_1,100%"},
        {"ALPHA", "Alpha"},
        {"Alph", ""},
        {"_eta", "beta"},
        {"_____", "Alpha"},
        {"gamma[_]1", "Gamma_1"},
        {"gamma_1", "Gamma_1"},
        {"[a-b]%", "Alpha,beta"},
        {"[A-B]%", "Alpha,beta"},
        {"[^a]%", "beta,Gamma_1,100%"},
        {"[bg]%", "beta,Gamma_1"},
        {"100[%]", "100%"},
        {"1%[%]", "100%"},
        {"%[0-9]", "Gamma_1"},
        {"[]]%", ""},
        {"%a", "Alpha,beta"},
        {"%a%a", "Alpha"},
        {"", ""},
        {"%[0-9]%", "Gamma_1,100%"},
        {"[z-a]%", ""},
        {"[a-]%", "Alpha"},
        {"[^a-z]%", "100%"},
        {"_%_", "Alpha,beta,Gamma_1,100%"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Select("Name LIKE '" + c.pattern + "'"), c.names) << c.pattern;
    }
    EXPECT_EQ(Select("Name NOT LIKE 'a%'"), "beta,Gamma_1,100%");
    EXPECT_EQ(Select("NOT Name LIKE 'a%'"), "beta,Gamma_1,-,100%");

    // Long texts against the longest patterns of the shapes a backtracking matcher
    // would take text times pattern steps for.
    sim::DefineWmiClass(kCimV2, u"Win32_Text", {{u"Value", cim::String}})
        .Instance({{u"Value", std::u16string(1 << 20, u'a')}})
        .Instance({{u"Value", std::u16string(1 << 20, u'a') + u"b"}});
    std::string nonLatin;
    for (char16_t c = 0x100; nonLatin.size() < 2 * 500; ++c) nonLatin += N(std::u16string(1, c));
    const std::vector<Case> longCases = {
        {"%a%a%a%a%a%a%a%a%a%a%a%a%b", "b"}, {"%" + std::string(510, 'a') + "b", "b"},
        {"a%" + std::string(510, 'A'), "a"}, {"%" + std::string(509, '_') + "b%", "b"},
        {"%[^" + nonLatin + "]", "a,b"},     {"%[" + nonLatin + "]%", ""},
    };
    for (const auto& c : longCases) {
        auto result = Query("SELECT Value FROM Win32_Text WHERE Value LIKE '" + c.pattern + "'");
        ASSERT_EQ(result.code, 0) << result.message;
        std::string found;  // the last character of each text found
        for (const auto& row : result.rows) {
            const auto& text = std::get<std::u16string>(row[0]);
            found += (found.empty() ? "" : ",") + N(text.substr(text.size() - 1));
        }
        EXPECT_EQ(found, c.names) << c.pattern.substr(0, 20);
    }
}

TEST_F(WqlTest, ReturnsSelectedPropertiesInOrder) {
    auto all = Query("SELECT * FROM WIN32_GADGET WHERE Name = 'beta'");
    ASSERT_EQ(all.code, 0) << all.message;
    EXPECT_EQ(N(all.className), "Win32_Gadget");
    std::vector<std::string> names;
    for (const auto& p : all.properties) names.push_back(N(p.name));
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "Count", "Delta", "Ratio", "Weight", "Enabled",
                                               "Serial", "Made", "Tags", "Initial", "Owner"}));
    ASSERT_EQ(all.rows.size(), 1u);
    ASSERT_EQ(all.rows[0].size(), 11u);
    EXPECT_EQ(all.rows[0][1], WmiValue(std::uint64_t{20}));  // unsigned types are held unsigned
    EXPECT_EQ(all.rows[0][2], WmiValue(std::int64_t{0}));
    EXPECT_EQ(all.rows[0][4], WmiValue(3.0));
    EXPECT_EQ(all.rows[0][8], WmiValue());
    EXPECT_EQ(all.rows[0][9], WmiValue(std::uint64_t{u'b'}));

    // Names as declared, in SELECT order, each once.
    auto some = Query("SELECT owner, NAME, Tags, name FROM Win32_Gadget");
    ASSERT_EQ(some.code, 0) << some.message;
    ASSERT_EQ(some.properties.size(), 3u);
    EXPECT_EQ(N(some.properties[0].name), "Owner");
    EXPECT_EQ(N(some.properties[1].name), "Name");
    EXPECT_EQ(some.properties[2], (sim::WmiProperty{u"Tags", cim::String | cim::Array}));
    ASSERT_EQ(some.rows.size(), 5u);
    EXPECT_EQ(some.rows[0], (wmi::Instance{u"ALPHA", u"Alpha", WmiArray{u"x", u"y"}}));
    EXPECT_EQ(some.rows[3], (wmi::Instance{u"x", WmiValue(), WmiValue()}));

    // A chain of thousands of conditions runs without deep recursion.
    std::string chain = "Count = 0";
    for (int i = 0; i < 1500; ++i) chain += " OR Count = " + std::to_string(1000 + i);
    EXPECT_EQ(Select(chain + " OR Name = 'beta'"), "beta");
    std::string deep = "Name = 'Alpha'";
    for (std::size_t i = 0; i < wmi::kMaxWqlNesting / 2 - 1; ++i) deep = "NOT (" + deep + ")";
    EXPECT_EQ(Select(deep), "beta,Gamma_1,-,100%");
}

TEST_F(WqlTest, RepositoryChecksValuesAgainstTheirTypes) {
    struct Case {
        sim::CimType type;
        WmiValue value;
        std::string error;  // empty: accepted
    };
    const std::vector<Case> cases = {
        {cim::UInt8, 255, ""},
        {cim::UInt8, 300, "300 does not fit CIM_UINT8"},
        {cim::UInt8, -1, "-1 does not fit CIM_UINT8"},
        {cim::SInt8, -128, ""},
        {cim::SInt8, -129, "does not fit CIM_SINT8"},
        {cim::SInt16, 32768, "does not fit CIM_SINT16"},
        {cim::UInt16, 65535, ""},
        {cim::SInt32, std::int64_t{2147483648}, "does not fit CIM_SINT32"},
        {cim::UInt32, std::int64_t{4294967295}, ""},
        {cim::UInt32, 1.5, "not an integer"},
        {cim::UInt32, 7.0, ""},
        {cim::SInt64, std::uint64_t{9223372036854775808ULL}, "does not fit CIM_SINT64"},
        {cim::UInt64, u"18446744073709551615", ""},
        {cim::UInt64, u"18446744073709551616", "does not fit CIM_UINT64"},
        {cim::UInt64, u"12 apples", "not an integer"},
        {cim::SInt32, true, "does not fit CIM_SINT32"},
        {cim::Real32, 1e39, "does not fit CIM_REAL32"},
        {cim::Real32, 5, ""},
        {cim::Real64, u"1.5", "does not fit CIM_REAL64"},
        {cim::Boolean, true, ""},
        {cim::Boolean, 1, "does not fit CIM_BOOLEAN"},
        {cim::String, u"text", ""},
        {cim::String, 5, "does not fit CIM_STRING"},
        {cim::DateTime, u"20240102030405.000000+060", ""},
        {cim::DateTime, u"00000001000000.000000:000", ""},
        {cim::DateTime, u"2024-01-02", "does not fit CIM_DATETIME"},
        {cim::Reference, u"Win32_Gadget.Name=\"x\"", ""},
        {cim::Char16, u"Z", ""},
        {cim::Char16, u"ZZ", "does not fit CIM_CHAR16"},
        {cim::Char16, 70000, "does not fit CIM_CHAR16"},
        {cim::Object, u"x", "embedded objects are not supported"},
        {cim::Object, WmiValue(), ""},
        {cim::String, WmiArray{u"a"}, "an array for a single value"},
        {cim::UInt16 | cim::Array, WmiArray{3, 10}, ""},
        {cim::UInt16 | cim::Array, 3, "not an array"},
        {cim::UInt16 | cim::Array, WmiArray{3, -1}, "element 1: -1 does not fit CIM_UINT16"},
        {cim::String | cim::Array, WmiValue(), ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        std::u16string cls = u"Win32_Case" + U(std::to_string(n++));
        sim::AddWmiClass(kCimV2, cls, {{u"Value", c.type}});
        try {
            sim::AddWmiInstance(kCimV2, cls, {{u"Value", c.value}});
            EXPECT_EQ(c.error, "") << "accepted " << wmi::DescribeValue(c.value) << " as "
                                   << wmi::CimTypeName(c.type);
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(c.error, "") << e.what();
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("\"Value\""), std::string::npos) << e.what();
        }
        // A rejected instance is not added.
        EXPECT_EQ(Query("SELECT * FROM " + N(cls)).rows.size(), c.error.empty() ? 1u : 0u) << N(cls);
    }
}

TEST_F(WqlTest, RepositoryChecksNames) {
    auto& repository = wmi::MachineRepository();
    auto fails = [](auto&& call, const std::string& expected) {
        try {
            call();
            ADD_FAILURE() << "accepted; expected: " << expected;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
        }
    };
    fails([&] { repository.AddNamespace(u"CIMV2"); }, "not below ROOT");
    fails([&] { repository.AddNamespace(u"root\\\\cimv2"); }, "not a valid WMI namespace name");
    fails([&] { repository.AddNamespace(u"root\\ci mv2"); }, "not a valid WMI namespace name");
    fails([&] { repository.AddClass(u"root\\nowhere", u"A", {}); }, "does not exist");
    fails([&] { repository.AddClass(kCimV2, u"1A", {}); }, "class name \"1A\" is not valid");
    fails(
        [&] {
            repository.AddClass(kCimV2, u"A", {{u"X", cim::String}, {u"x", cim::UInt8}});
        },
        "declared twice");
    fails([&] { repository.AddClass(kCimV2, u"A", {{u"X-1", cim::String}}); }, "not a valid property name");
    fails([&] { repository.AddClass(kCimV2, u"A", {{u"X", 99}}); }, "unknown CIM type 99");
    fails(
        [&] {
            repository.AddClass(kCimV2, u"win32_gadget", {{u"Name", cim::String}});
        },
        "other properties");
    fails([&] { repository.AddInstance(kCimV2, u"Win32_None", {}); }, "does not exist");
    fails(
        [&] {
            repository.AddInstance(kCimV2, u"Win32_Gadget", {{u"Colour", u"red"}});
        },
        "no such property");
    fails(
        [&] {
            repository.AddInstance(kCimV2, u"Win32_Gadget", {{u"Name", u"a"}, {u"NAME", u"b"}});
        },
        "given twice");

    // The same declaration again is harmless.
    auto gadget = repository.FindClass(u"root/cimv2", u"WIN32_GADGET");
    ASSERT_TRUE(gadget);
    repository.AddClass(kCimV2, u"WIN32_GADGET", gadget->properties);
    EXPECT_EQ(Query("SELECT * FROM Win32_Gadget").rows.size(), 5u);

    // Namespaces compare without case, take either separator, and bring their parents.
    repository.AddNamespace(u"root\\cimv2\\Security\\MicrosoftTpm");
    EXPECT_EQ(repository.FindNamespace(u"ROOT/CIMV2/SECURITY/microsofttpm"),
              std::u16string(u"root\\cimv2\\Security\\MicrosoftTpm"));
    EXPECT_EQ(repository.FindNamespace(u"Root\\CimV2"), std::u16string(kCimV2));
    EXPECT_TRUE(repository.FindNamespace(u"root\\cimv2\\security"));
    EXPECT_TRUE(repository.FindNamespace(u"ROOT"));
    EXPECT_FALSE(repository.FindNamespace(u"root\\cimv2\\Securit"));
    EXPECT_FALSE(repository.FindNamespace(u""));
    EXPECT_EQ(repository.ClassNames(u"root\\CIMV2"), std::vector<std::u16string>{u"Win32_Gadget"});

    // A new machine has an empty repository.
    sim::ResetMachine(DriveC());
    EXPECT_FALSE(repository.FindNamespace(kCimV2));
    EXPECT_EQ(Hex(Query("SELECT * FROM Win32_Gadget").code), Hex(wmi::kWbemInvalidNamespace));
}

TEST_F(WqlTest, QueriesRunWhileInstancesAreAdded) {
    constexpr int kAdded = 200;
    std::thread writer([] {
        for (int i = 0; i < kAdded; ++i) sim::AddWmiInstance(kCimV2, u"Win32_Gadget", {{u"Count", 1000 + i}});
    });
    std::size_t seen = 0;
    for (int i = 0; i < kAdded; ++i) {
        auto result = Query("SELECT Count FROM Win32_Gadget WHERE Count >= 1000");
        ASSERT_EQ(result.code, 0);
        EXPECT_GE(result.rows.size(), seen);  // never goes back
        seen = result.rows.size();
    }
    writer.join();
    EXPECT_EQ(Query("SELECT Count FROM Win32_Gadget WHERE Count >= 1000").rows.size(), std::size_t{kAdded});
}

}  // namespace
}  // namespace hostlens
