#include "agent_install.h"

#include <gtest/gtest.h>

#include "test_logger.h"

namespace hostlens::test {

namespace {
const WCHAR kAgentKey[] = W("SOFTWARE\\Orvix Security\\SetupEx\\Nuvex Agent");
}

void WriteInstallPath(const WString& path) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAgentKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    LSTATUS status = RegSetValueExW(key, W("Path"), 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                                    static_cast<DWORD>((path.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
    ASSERT_EQ(status, ERROR_SUCCESS);
}

void DeleteInstallPath() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kAgentKey);
}

void InstallTestLogger(const std::filesystem::path& driveC) {
    TestLogger::Install(driveC, "Program Files (x86)/Orvix Security/Nuvex Agent");
}

}  // namespace hostlens::test
