// The power status the machine reports.
#include <gtest/gtest.h>

#include "support/machine_test.h"

namespace hostlens::test {
namespace {

class PowerTest : public MachineTest {};

void ExpectStatus(const SYSTEM_POWER_STATUS& actual, const SYSTEM_POWER_STATUS& expected) {
    EXPECT_EQ(actual.ACLineStatus, expected.ACLineStatus);
    EXPECT_EQ(actual.BatteryFlag, expected.BatteryFlag);
    EXPECT_EQ(actual.BatteryLifePercent, expected.BatteryLifePercent);
    EXPECT_EQ(actual.SystemStatusFlag, expected.SystemStatusFlag);
    EXPECT_EQ(actual.BatteryLifeTime, expected.BatteryLifeTime);
    EXPECT_EQ(actual.BatteryFullLifeTime, expected.BatteryFullLifeTime);
}

TEST_F(PowerTest, ReportsThePowerFacts) {
    SYSTEM_POWER_STATUS status{};
    ASSERT_TRUE(GetSystemPowerStatus(&status));
    ExpectStatus(status, SYSTEM_POWER_STATUS{1, 128, 255, 0, 0xFFFFFFFF, 0xFFFFFFFF});  // desktop, no battery

    const SYSTEM_POWER_STATUS laptop{0, 8 | 1, 57, 1, 5400, 9000};  // on battery, charging flag, saver on
    sim::MachineFacts().powerStatus = laptop;
    ASSERT_TRUE(GetSystemPowerStatus(&status));
    ExpectStatus(status, laptop);
}

TEST_F(PowerTest, FailsOnDemandWithTheChosenError) {
    SYSTEM_POWER_STATUS status{9, 9, 9, 9, 9, 9};
    sim::FailCall("GetSystemPowerStatus", 1, ERROR_NOT_SUPPORTED);
    EXPECT_FALSE(GetSystemPowerStatus(&status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    ExpectStatus(status, SYSTEM_POWER_STATUS{9, 9, 9, 9, 9, 9});
    EXPECT_TRUE(GetSystemPowerStatus(&status));
}

}  // namespace
}  // namespace hostlens::test
