// The operating-system record on a real Windows (Wine in CI), checked against what the
// system itself says: RtlGetVersion for the true version and product type, the
// registry's CurrentVersion values in the 64-bit view, and the native architecture.
#include <gtest/gtest.h>

#include <optional>

#include "frame/runtime_numbers.h"
#include "os/operating_system.h"
#include "support/api_test.h"

namespace hostlens::test {
namespace {

const WCHAR kCurrentVersion[] = W("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");

std::optional<WString> CurrentVersionText(const WCHAR* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCurrentVersion, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    WCHAR text[512] = {};
    DWORD size = sizeof text - sizeof(WCHAR);
    const LSTATUS status =
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return WString(text);
}

class OperatingSystemWindowsTest : public ApiTest {};

TEST_F(OperatingSystemWindowsTest, RecordAgreesWithTheSystem) {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(W("ntdll.dll")), "RtlGetVersion")));
    ASSERT_NE(rtlGetVersion, nullptr);
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_EQ(rtlGetVersion(&version), 0);

    COperatingSystem operatingSystem;
    const OperatingSystemRecord record = operatingSystem.CopyRecord();
    EXPECT_EQ(record.IsWindows, 1u);
    // The test program's manifest declares Windows 10, so the version tests see the true version.
    ASSERT_EQ(version.dwMajorVersion, 10u);
    const std::optional<WString> build = CurrentVersionText(W("CurrentBuildNumber"));
    ASSERT_TRUE(build.has_value());
    const DWORD registryBuild = static_cast<DWORD>(runtime::WideToInt(build->c_str()));
    const bool server = version.wProductType != VER_NT_WORKSTATION;
    if (server) {
        EXPECT_TRUE(record.VersionCode >= 11 && record.VersionCode <= 15) << record.VersionCode;
    } else {
        EXPECT_EQ(record.VersionCode, registryBuild < 22000 ? 11u : 14u);
    }
    EXPECT_EQ(record.IsServer, server && record.VersionCode != 11 && record.VersionCode != 14);
    EXPECT_NE(record.EditionCode, 0u);
    DWORD productType = 0;
    ASSERT_TRUE(GetProductInfo(10, 0, 0, 0, &productType));
    if (WineDiffers("GetProductInfo answers 0x1C (PRODUCT_ULTIMATE_N) for any installation and version")) {
        for (DWORD major : {6u, 10u, 0xABCDABCDu}) {
            productType = 0;
            EXPECT_TRUE(GetProductInfo(major, 0, 0, 0, &productType));
            EXPECT_EQ(productType, 0x1Cu) << major;
        }
        EXPECT_EQ(record.EditionCode, 96u) << "Windows 10, any other product type, 64-bit";
    }
    // A version before Vista, which had no editions to tell apart.
    productType = 0x77;
    SetLastError(12345);
    EXPECT_FALSE(GetProductInfo(5, 1, 3, 0, &productType));
    EXPECT_EQ(productType, 0u) << "PRODUCT_UNDEFINED";

    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    const DWORD architecture = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64   ? 2
                               : system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL ? 1
                                                                                               : 3;
    EXPECT_EQ(record.Architecture, architecture);

    WString productName = CurrentVersionText(W("ProductName")).value_or(W(""));
    if (record.VersionCode == 14 && productName.find(W(" 10 ")) != WString::npos)
        productName[productName.find(W(" 10 ")) + 2] = W('1');
    EXPECT_EQ(record.ProductName, productName);
    EXPECT_EQ(record.FullName.substr(0, productName.size()), productName);

    const std::optional<WString> displayVersion = CurrentVersionText(W("DisplayVersion"));
    const std::optional<WString> releaseId = CurrentVersionText(W("ReleaseId"));
    if (WineDiffers("CurrentVersion has neither DisplayVersion nor ReleaseId")) {
        EXPECT_FALSE(displayVersion.has_value());
        EXPECT_FALSE(releaseId.has_value());
    }
    EXPECT_EQ(record.DisplayVersion, displayVersion.value_or(W("")));
    if (!displayVersion) {
        EXPECT_EQ(record.ReleaseId,
                  static_cast<WORD>(runtime::WideToInt(releaseId.value_or(W("0")).c_str())));
    }
}

}  // namespace
}  // namespace hostlens::test
