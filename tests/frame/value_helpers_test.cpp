// The textual form of numbers and the narrow-to-wide conversion of the records.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "frame/value_helpers.h"
#include "support/machine_test.h"

namespace hostlens::test {
namespace {

class ValueHelpersTest : public MachineTest {};

TEST_F(ValueHelpersTest, NumbersHaveTheirPlainDecimalOrFixedForm) {
    struct Case {
        const char* what;
        WString actual;
        WString expected;
    } cases[] = {
        {"int", NumberToWide(-5), W("-5")},
        {"int zero", NumberToWide(0), W("0")},
        {"int minimum", NumberToWide(std::numeric_limits<int>::min()), W("-2147483648")},
        {"SHORT widens", NumberToWide(SHORT{-32768}), W("-32768")},
        {"USHORT widens", NumberToWide(USHORT{65535}), W("65535")},
        {"BYTE widens", NumberToWide(BYTE{200}), W("200")},
        {"LONG", NumberToWide(LONG{-2147483647 - 1}), W("-2147483648")},
        {"DWORD in full", NumberToWide(DWORD{4294967295u}), W("4294967295")},
        {"ULONG", NumberToWide(ULONG{4000000000u}), W("4000000000")},
        {"UINT", NumberToWide(UINT{7}), W("7")},
        {"LONGLONG minimum", NumberToWide(std::numeric_limits<LONGLONG>::min()), W("-9223372036854775808")},
        {"LONGLONG -1", NumberToWide(LONGLONG{-1}), W("-1")},
        {"ULONGLONG maximum", NumberToWide(std::numeric_limits<ULONGLONG>::max()), W("18446744073709551615")},
        {"double 0.1", NumberToWide(0.1), W("0.100000")},
        {"double 2.5", NumberToWide(2.5), W("2.500000")},
        {"double -0.25", NumberToWide(-0.25), W("-0.250000")},
        {"double 1234567.891", NumberToWide(1234567.891), W("1234567.891000")},
        {"double 1e20, no exponent", NumberToWide(1e20), W("100000000000000000000.000000")},
        {"double rounds to six digits", NumberToWide(2.0 / 3.0), W("0.666667")},
        {"double below the last digit", NumberToWide(1e-7), W("0.000000")},
        {"float widens", NumberToWide(3.5f), W("3.500000")},
        {"largest double", NumberToWide(std::numeric_limits<double>::max()).substr(0, 6), W("179769")},
    };
    for (const Case& c : cases) EXPECT_EQ(Utf8(c.actual), Utf8(c.expected)) << c.what;
    EXPECT_EQ(NumberToWide(std::numeric_limits<double>::max()).size(), 309u + 7u);
}

TEST_F(ValueHelpersTest, AnsiTextDependsOnTheMachineCodePage) {
    const std::string bytes = "Caf\xE9 \xC0";
    struct Case {
        UINT machineCodePage;
        WString expected;
    } cases[] = {
        {1252, W("Caf\u00E9 \u00C0")},
        {1251, W("Caf\u0439 \u0410")},
        {1253, W("Caf\u03B9 \u0390")},
    };
    for (const Case& c : cases) {
        sim::MachineFacts().ansiCodePage = c.machineCodePage;
        WString out = W("old");
        EXPECT_TRUE(AnsiToWide(bytes, out, GetACP()));
        EXPECT_EQ(Utf8(out), Utf8(c.expected)) << "code page " << c.machineCodePage;
    }
}

TEST_F(ValueHelpersTest, AnsiToWideConvertsUpToTheFirstNul) {
    struct Case {
        const char* what;
        std::string text;
        UINT codePage;
        WString expected;
    } cases[] = {
        {"empty", "", 1252, W("")},
        {"ASCII", "abc", 1252, W("abc")},
        {"embedded NUL", std::string("ab\0cd", 5), 1252, W("ab")},
        {"double-byte", "\x93\xFA\x96\x7B", 932, W("\u65E5\u672C")},
        {"UTF-8", "\xE2\x82\xAC", CP_UTF8, W("\u20AC")},
    };
    for (const Case& c : cases) {
        WString out = W("old");
        EXPECT_TRUE(AnsiToWide(c.text, out, c.codePage)) << c.what;
        EXPECT_EQ(Utf8(out), Utf8(c.expected)) << c.what;
    }
}

TEST_F(ValueHelpersTest, AFailedConversionLeavesTheOutputAlone) {
    WString out = W("old");
    EXPECT_FALSE(AnsiToWide("abc", out, 12345));
    EXPECT_EQ(Utf8(out), "old");

    // The size query fails, then the conversion itself.
    for (unsigned occurrence : {1u, 2u}) {
        sim::ClearFaults();
        sim::FailCall("MultiByteToWideChar", occurrence, ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_FALSE(AnsiToWide("abc", out, 1252)) << "call " << occurrence;
        EXPECT_EQ(Utf8(out), "old");
    }
}

}  // namespace
}  // namespace hostlens::test
