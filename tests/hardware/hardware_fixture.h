// What the hardware tests share: a machine (built in code or a sample machine, with
// the test's own drive C:), GetHardwareInfo as the agent calls it, the collection
// driver's trace points, and the record as the command line prints it.
#pragma once

#include <string>
#include <vector>

#include "hostlens/Exports.h"
#include "support/machine_test.h"
#include "tools/hostlens/records_json.h"

namespace hostlens::test {

class HardwareTest : public MachineTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A sample machine of machines/; drive C: stays the test's.
    void LoadSample(const char* machine);
    // Starts a fresh machine, for a table that needs one per row.
    void Reset();
    // GetIHardware, GetHardwareInfo, FreeIHardware.
    static DWORD Collect(HardwareInfo& info);
    // The driver's trace points since the last call: "level:step", where the step is
    // the collector's place in the run ("4:" for the fallback without WMI).
    static std::vector<std::string> DriverTraces();
    static cli::Json Json(const HardwareInfo& info) { return cli::Json(info); }
};

}  // namespace hostlens::test
