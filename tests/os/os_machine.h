// Machines built in code for the operating-system record: the version facts and the
// CurrentVersion values that agree with them, the architecture, and the record read
// through a COperatingSystem.
#pragma once

#include <string>

#include "os/operating_system.h"
#include "platform/posix/machine/sim.h"
#include "support/machine_test.h"

namespace hostlens::test {

class OsMachineTest : public MachineTest {
protected:
    // The version tests pass for major.minor and the product type (1 workstation, 3
    // server); the registry says the same, with "CurrentBuildNumber" = build. From 10.0
    // on the registry has the version as numbers, before it as "CurrentVersion".
    static void Windows(DWORD major, DWORD minor, BYTE productType, DWORD build);

    static const std::u16string kCurrentVersion;  // HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion
    static void SetString(const std::u16string& name, const std::u16string& text,
                          const std::u16string& key = kCurrentVersion);
    static void SetDword(const std::u16string& name, DWORD value,
                         const std::u16string& key = kCurrentVersion);
    static void RemoveValue(const std::u16string& name);
    static void CreateMachineKey(const std::u16string& path);  // below HKLM

    enum class Cpu { X86, X64, Arm64, Ia64, Arm };
    // The machine's processor; a 64-bit machine runs this process as x86 code, or as
    // its own code with `process64`.
    static void Native(Cpu cpu, bool process64 = false);

    static OperatingSystemRecord Record() {
        COperatingSystem operatingSystem;
        return operatingSystem.CopyRecord();
    }
};

}  // namespace hostlens::test
