// The battery service through its exports, as the agent calls it.
#include <gtest/gtest.h>

#include "support/agent_install.h"
#include "hostlens/Exports.h"
#include "support/machine_test.h"
#include "support/test_logger.h"

namespace hostlens::test {
namespace {

class BatteryTest : public MachineTest {
protected:
    void InstallLogger() {
        WriteInstallPath(kAgentFolder);
        InstallTestLogger(DriveC());
    }
};

TEST_F(BatteryTest, PassesThePlatformsValuesThrough) {
    struct Case {
        const char* machine;
        SYSTEM_POWER_STATUS status;
    };
    const Case cases[] = {
        {"laptop on battery", {0, 1, 57, 0, 7260, 0xFFFFFFFF}},
        {"laptop charging in saver mode", {1, 8, 80, 1, 0xFFFFFFFF, 0xFFFFFFFF}},
        {"desktop without battery", {1, 128, 255, 0, 0xFFFFFFFF, 0xFFFFFFFF}},
    };
    InstallLogger();
    IBattery* battery = GetIBattery();
    ASSERT_NE(battery, nullptr);
    for (const Case& c : cases) {
        sim::MachineFacts().powerStatus = c.status;
        SYSTEM_POWER_STATUS status{};
        EXPECT_EQ(battery->GetBatteryStatus(&status), 0u) << c.machine;
        EXPECT_EQ(status.ACLineStatus, c.status.ACLineStatus) << c.machine;
        EXPECT_EQ(status.BatteryFlag, c.status.BatteryFlag) << c.machine;
        EXPECT_EQ(status.BatteryLifePercent, c.status.BatteryLifePercent) << c.machine;
        EXPECT_EQ(status.SystemStatusFlag, c.status.SystemStatusFlag) << c.machine;
        EXPECT_EQ(status.BatteryLifeTime, c.status.BatteryLifeTime) << c.machine;
        EXPECT_EQ(status.BatteryFullLifeTime, c.status.BatteryFullLifeTime) << c.machine;
    }
    EXPECT_TRUE(TestLogger::Take().empty());
    FreeIBattery(&battery);
}

// When the platform has no power status the agent gets 232 whatever the platform's
// own error, a record that reads "no reading", and one message if a logger is there.
TEST_F(BatteryTest, FailureGivesNoDataAndOneMessage) {
    struct Case {
        bool withLogger;
        DWORD platformError;
    };
    const Case cases[] = {
        {true, ERROR_ACCESS_DENIED}, {true, ERROR_NOT_SUPPORTED}, {false, ERROR_ACCESS_DENIED}};
    for (const Case& c : cases) {
        if (c.withLogger) InstallLogger();
        IBattery* battery = GetIBattery();
        ASSERT_NE(battery, nullptr);
        sim::FailCall("GetSystemPowerStatus", 1, c.platformError);
        SYSTEM_POWER_STATUS status{1, 2, 3, 4, 5, 6};
        EXPECT_EQ(battery->GetBatteryStatus(&status), static_cast<DWORD>(ERROR_NO_DATA));
        EXPECT_EQ(status.ACLineStatus, 255);
        EXPECT_EQ(status.BatteryFlag, 255);
        EXPECT_EQ(status.BatteryLifePercent, 255);
        EXPECT_EQ(status.SystemStatusFlag, 0);
        EXPECT_EQ(status.BatteryLifeTime, 0xFFFFFFFFu);
        EXPECT_EQ(status.BatteryFullLifeTime, 0xFFFFFFFFu);
        std::vector<LoggedMessage> expected;
        if (c.withLogger) expected.push_back({30, "ERROR cannot get battery status"});
        EXPECT_EQ(TestLogger::Take(), expected);
        FreeIBattery(&battery);
        DeleteInstallPath();
    }
}

TEST_F(BatteryTest, NullRecordIsRejected) {
    IBattery* battery = GetIBattery();
    ASSERT_NE(battery, nullptr);
    EXPECT_EQ(battery->GetBatteryStatus(nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    FreeIBattery(&battery);
}

}  // namespace
}  // namespace hostlens::test
