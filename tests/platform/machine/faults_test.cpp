// Fault injection and the record of calls that the fault sweep replays.
#include <gtest/gtest.h>

#include <thread>

#include "support/machine_test.h"

namespace hostlens::test {
namespace {

using Faults = MachineTest;

void SomeCalls() {
    SYSTEM_POWER_STATUS status{};
    HKEY key = nullptr;
    GetSystemPowerStatus(&status);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W("SOFTWARE"), 0, KEY_READ, &key) == ERROR_SUCCESS)
        RegCloseKey(key);
    GetSystemPowerStatus(&status);
}

TEST_F(Faults, CallsSinceTheMarkAreRecordedInOrderAndReplayExactly) {
    RegCloseKey(nullptr);  // before the mark: not recorded
    sim::MarkCalls();
    SomeCalls();
    std::thread([] { SomeCalls(); }).join();
    const std::vector<sim::RecordedCall> expected = {
        {"GetSystemPowerStatus", 1}, {"RegOpenKeyExW", 1}, {"RegCloseKey", 1}, {"GetSystemPowerStatus", 2},
        {"GetSystemPowerStatus", 3}, {"RegOpenKeyExW", 2}, {"RegCloseKey", 2}, {"GetSystemPowerStatus", 4},
    };
    const std::vector<sim::RecordedCall> recorded = sim::CallsSinceMark();
    ASSERT_EQ(recorded, expected);
    EXPECT_EQ(sim::FaultsInjectedSinceMark(), 0u);

    // Each recorded call, armed right after a new mark, is met by the same work
    // again and fails once.
    for (const sim::RecordedCall& call : recorded) {
        sim::MarkCalls();
        sim::FailCall(call.function, call.occurrence, ERROR_ACCESS_DENIED);
        SomeCalls();
        SomeCalls();
        EXPECT_EQ(sim::FaultsInjectedSinceMark(), 1u) << call.function << " #" << call.occurrence;
        sim::ClearFaults();
    }

    sim::ResetMachine(DriveC());
    SomeCalls();
    EXPECT_TRUE(sim::CallsSinceMark().empty()) << "a reset stops the record";
}

}  // namespace
}  // namespace hostlens::test
