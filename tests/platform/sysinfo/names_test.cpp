// The computer's names and the Windows folder: the buffer protocols a caller relies
// on, checked against whatever names the machine has (so also on Windows).
#include <gtest/gtest.h>

#include <vector>

#include "support/api_test.h"

namespace hostlens::test {
namespace {

using NamesTest = ApiTest;

TEST_F(NamesTest, ComputerNamesReportTheSizeTheyNeedThenFit) {
    const COMPUTER_NAME_FORMAT formats[] = {
        ComputerNameNetBIOS,           ComputerNameDnsHostname,
        ComputerNameDnsDomain,         ComputerNameDnsFullyQualified,
        ComputerNamePhysicalNetBIOS,   ComputerNamePhysicalDnsHostname,
        ComputerNamePhysicalDnsDomain, ComputerNamePhysicalDnsFullyQualified,
    };
    for (COMPUTER_NAME_FORMAT format : formats) {
        SCOPED_TRACE(static_cast<int>(format));
        // Asked with no room: the size with the terminator.
        DWORD needed = 0;
        SetLastError(0);
        EXPECT_FALSE(GetComputerNameExW(format, nullptr, &needed));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
        ASSERT_GE(needed, 1u);
        // One character short: the same answer, nothing written.
        std::vector<WCHAR> buffer(needed + 1, W('#'));
        DWORD size = needed - 1;
        if (size > 0) {
            EXPECT_FALSE(GetComputerNameExW(format, buffer.data(), &size));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
            EXPECT_EQ(size, needed);
        }
        // Room enough: the length without the terminator, and the terminator written.
        size = needed;
        ASSERT_TRUE(GetComputerNameExW(format, buffer.data(), &size));
        EXPECT_EQ(size, needed - 1);
        EXPECT_EQ(buffer[size], 0);
        EXPECT_EQ(WString(buffer.data()).size(), size);
    }
    DWORD size = 64;
    WCHAR name[64];
    SetLastError(0);
    EXPECT_FALSE(GetComputerNameExW(ComputerNameMax, name, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(NamesTest, WindowsDirectoryReportsTheSizeItNeedsThenFits) {
    const UINT needed = GetWindowsDirectoryW(nullptr, 0);
    ASSERT_GE(needed, 4u) << "a drive and a folder, and the terminator";
    std::vector<WCHAR> buffer(needed, W('#'));
    EXPECT_EQ(GetWindowsDirectoryW(buffer.data(), needed - 1), needed) << "one short: the size needed";
    EXPECT_EQ(buffer[0], W('#')) << "nothing written";
    ASSERT_EQ(GetWindowsDirectoryW(buffer.data(), needed), needed - 1);
    EXPECT_EQ(buffer[needed - 1], 0);
    EXPECT_EQ(buffer[1], W(':'));
    EXPECT_NE(buffer[needed - 2], W('\\')) << "no trailing backslash";
}

}  // namespace
}  // namespace hostlens::test
