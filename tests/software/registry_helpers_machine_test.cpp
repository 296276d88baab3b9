// The registry helpers on the simulated machine: the thread's user, the registry
// views, a value that grows and a listing that fails.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/posix/registry/registry_store.h"
#include "software/registry_helpers.h"
#include "support/machine_test.h"

namespace hostlens::test {
namespace {

namespace reg = sim::registry;

// {2DAFC98A-3FB6-4126-B13F-630081154973}
constexpr GUID kControlGuid = {0x2DAFC98A, 0x3FB6, 0x4126, {0xB1, 0x3F, 0x63, 0x00, 0x81, 0x15, 0x49, 0x73}};

std::vector<std::uint8_t> Text(const std::u16string& text) {
    std::vector<std::uint8_t> bytes((text.size() + 1) * sizeof(char16_t));
    std::memcpy(bytes.data(), text.c_str(), bytes.size());
    return bytes;
}

class RegistryHelpersMachineTest : public MachineTest {
protected:
    void TearDown() override {
        reg::SetThreadUser(u"");
        sim::DisableTraceProvider(kControlGuid);
        MachineTest::TearDown();
    }
};

// HKEY_CURRENT_USER is the user the thread impersonates, also after the process's
// predefined key went to another user; when that cannot be opened, the predefined key.
TEST_F(RegistryHelpersMachineTest, CurrentUserIsTheThreadsUser) {
    ASSERT_TRUE(reg::SetValue(u"HKU\\S-1-5-18\\Software\\App", u"Who", REG_SZ, Text(u"system")));
    ASSERT_TRUE(reg::SetValue(u"HKU\\S-1-5-21-7\\Software\\App", u"Who", REG_SZ, Text(u"user")));
    ASSERT_TRUE(reg::SetValue(u"HKU\\S-1-5-21-7\\Software\\App\\Child", u"Who", REG_SZ, Text(u"child")));
    // The process used the predefined key as its own user first.
    HKEY own = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W("Software\\App"), 0, KEY_READ, &own), ERROR_SUCCESS);
    RegCloseKey(own);
    WString text;
    ASSERT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, W("Software\\App"), W("Who"), text, false));
    EXPECT_EQ(text, W("system")) << "the process's own user";

    reg::SetThreadUser(u"S-1-5-21-7");
    ASSERT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, W("Software\\App"), W("Who"), text, true));
    EXPECT_EQ(text, W("user"));
    std::unique_ptr<WCHAR[]> names;
    ASSERT_EQ(GetSubKeyNames(HKEY_CURRENT_USER, W("Software\\App"), names, false), 0u);
    EXPECT_EQ(WString(names.get()), W("Child"));
    HKEY key = OpenRegistryKey(HKEY_CURRENT_USER, W("Software\\App\\Child"), false);
    EXPECT_NE(key, nullptr);
    CloseRegistryKey(key);

    sim::FailCall("RegOpenCurrentUser", 1, ERROR_ACCESS_DENIED);
    ASSERT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, W("Software\\App"), W("Who"), text, false));
    EXPECT_EQ(text, W("system")) << "the predefined key";
}

// A 32-bit process reads its own view, or the 64-bit view when asked to.
TEST_F(RegistryHelpersMachineTest, Use64ViewReadsTheSixtyFourBitView) {
    ASSERT_TRUE(reg::SetValue(u"HKLM\\SOFTWARE\\Vendor", u"Bits", REG_SZ, Text(u"64")));
    ASSERT_TRUE(reg::SetValue(u"HKLM\\SOFTWARE\\WOW6432Node\\Vendor", u"Bits", REG_SZ, Text(u"32")));
    ASSERT_TRUE(reg::CreateKey(u"HKLM\\SOFTWARE\\Vendor\\Only64"));
    for (auto [use64View, bits] : {std::pair{false, W("32")}, {true, W("64")}}) {
        WString text;
        EXPECT_TRUE(
            ReadRegistryString(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor"), W("Bits"), text, use64View));
        EXPECT_EQ(text, bits);
        std::unique_ptr<WCHAR[]> names;
        EXPECT_EQ(GetSubKeyNames(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor"), names, use64View),
                  use64View ? 0u : static_cast<DWORD>(ERROR_NO_DATA));
    }
}

// A value that grows again between the two reads is not read, and the second read is
// the last.
TEST_F(RegistryHelpersMachineTest, AValueGrowingBetweenTheReadsIsNotRead) {
    ASSERT_TRUE(reg::SetValue(u"HKLM\\SOFTWARE\\App", u"Long", REG_SZ, Text(std::u16string(300, u'l'))));
    const unsigned calls = sim::CallCount("RegQueryValueExW");
    sim::FailCall("RegQueryValueExW", 2, ERROR_MORE_DATA);
    WString text = W("unchanged");
    EXPECT_FALSE(ReadRegistryString(HKEY_LOCAL_MACHINE, W("SOFTWARE\\App"), W("Long"), text, true));
    EXPECT_EQ(text, W("unchanged"));
    EXPECT_EQ(sim::CallCount("RegQueryValueExW"), calls + 2);
}

// GetSubKeyNames traces a listing that fails the second time, when it had measured it.
// (The fault sweep fails every call of every helper in turn.)
TEST_F(RegistryHelpersMachineTest, GetSubKeyNamesTracesAFailingSecondListing) {
    ASSERT_TRUE(reg::CreateKey(u"HKLM\\SOFTWARE\\App\\Child"));
    sim::EnableTraceProvider(kControlGuid, 5, 0xFFFFFFFF);
    for (const char* function : {"RegOpenKeyExW", "RegQueryInfoKeyW", "RegEnumKeyExW"}) {
        for (unsigned occurrence : {1u, 2u}) {
            SCOPED_TRACE(testing::Message() << function << " #" << occurrence);
            sim::StartTraceCapture();
            sim::FailCall(function, occurrence, ERROR_ACCESS_DENIED);
            std::unique_ptr<WCHAR[]> names(new WCHAR[1]);
            EXPECT_EQ(GetSubKeyNames(HKEY_LOCAL_MACHINE, W("SOFTWARE\\App"), names, true), ERROR_NO_DATA);
            EXPECT_EQ(names, nullptr);
            std::vector<sim::TracePoint> points = sim::TakeTraceCapture();
            ASSERT_EQ(points.size(), occurrence == 2 ? 1u : 0u);
            if (!points.empty()) {
                EXPECT_EQ(points[0].level, 2) << "an error";
            }
            sim::ClearFaults();
        }
    }
}

}  // namespace
}  // namespace hostlens::test
