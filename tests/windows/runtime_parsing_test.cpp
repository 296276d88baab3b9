// The library's stand-ins for _wtoi and swscanf, which Linux's char16_t text lacks,
// against the C run time itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "frame/runtime_numbers.h"

namespace hostlens::test {
namespace {

const wchar_t* const kTexts[] = {
    L"6.1",
    L"6",
    L"",
    L"abc",
    L"10.0",
    L" 6.3",
    L"6 .3",
    L"6. 3",
    L"-1.-2",
    L"+5.+7",
    L"7.x",
    L"-",
    L"-1",
    L" 22000",
    L"99999999999",
    L"-99999999999",
    L"2147483648",
    L"22000abc",
    L"\t 42",
    L"Service Pack 1",
    L"Service Pack 3, v.3311",
    L"Service Pack",
    L"Service  Pack\t2",
    L"A B -1",
    L"A B 70000",
    L"A B +9",
    L"A B x9",
    L"Service",
    L"  Service Pack 12 ",
    L"A B 99999999999",
    L"A B -99999999999",
    L"A B 4294967296",
    L"A B 4294967295",
    L"A B -65536",
    L"A B -2147483649",
};

TEST(RuntimeParsingTest, AnswersAsTheCRunTime) {
    for (const wchar_t* text : kTexts) {
        SCOPED_TRACE(testing::Message() << "\"" << text << "\"");
        EXPECT_EQ(runtime::WideToInt(text), _wtoi(text));

        int first = -7, second = -7, expectedFirst = -7, expectedSecond = -7;
        const int stored = runtime::ScanDottedPair(text, first, second);
        const int converted = swscanf(text, L"%d.%d", &expectedFirst, &expectedSecond);
        EXPECT_EQ(stored, converted < 0 ? 0 : converted);
        EXPECT_EQ(first, expectedFirst);
        EXPECT_EQ(second, expectedSecond);

        unsigned short number = 7, expectedNumber = 7;
        const int storedNumber = runtime::ScanThirdWordNumber(text, number);
        const int convertedNumber = swscanf(text, L"%*s %*s %hu", &expectedNumber);
        EXPECT_EQ(storedNumber, convertedNumber < 0 ? 0 : convertedNumber);
        EXPECT_EQ(number, expectedNumber);
    }
}

}  // namespace
}  // namespace hostlens::test
