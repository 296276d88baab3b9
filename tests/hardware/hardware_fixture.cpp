#include "hardware_fixture.h"

#include <cstring>
#include <filesystem>

#include "frame/trace.h"
#include "platform/posix/machine/sim_machinedir.h"

namespace hostlens::test {
namespace {

// {2DAFC98A-3FB6-4126-B13F-630081154973}
constexpr GUID kControlGuid = {0x2DAFC98A, 0x3FB6, 0x4126, {0xB1, 0x3F, 0x63, 0x00, 0x81, 0x15, 0x49, 0x73}};
constexpr GUID kDriverGuid = trace::ModuleGuid("hardware/hardware");

}  // namespace

void HardwareTest::SetUp() {
    MachineTest::SetUp();
    sim::EnableTraceProvider(kControlGuid, trace::kVerbose, trace::kGeneral);
    sim::StartTraceCapture();
}

void HardwareTest::TearDown() {
    sim::DisableTraceProvider(kControlGuid);
    MachineTest::TearDown();
}

void HardwareTest::LoadSample(const char* machine) {
    ASSERT_EQ(sim::LoadMachineDirectory(std::filesystem::path(HOSTLENS_SAMPLE_MACHINES) / machine),
              std::nullopt);
    sim::SetDriveFolder('C', DriveC());
    sim::EnableTraceProvider(kControlGuid, trace::kVerbose, trace::kGeneral);
    sim::StartTraceCapture();
}

void HardwareTest::Reset() {
    sim::ResetMachine(DriveC());
    sim::EnableTraceProvider(kControlGuid, trace::kVerbose, trace::kGeneral);
    sim::StartTraceCapture();
}

DWORD HardwareTest::Collect(HardwareInfo& info) {
    IHardware* hardware = GetIHardware();
    if (hardware == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
    DWORD result = hardware->GetHardwareInfo(info);
    FreeIHardware(&hardware);
    return result;
}

std::vector<std::string> HardwareTest::DriverTraces() {
    std::vector<std::string> traces;
    for (const sim::TracePoint& point : sim::TakeTraceCapture()) {
        if (std::memcmp(&point.messageGuid, &kDriverGuid, sizeof(GUID)) != 0) continue;
        int step = 0;
        if (!point.args.empty()) std::memcpy(&step, point.args[0].data(), sizeof step);
        traces.push_back(std::to_string(point.level) + ":" +
                         (point.args.empty() ? "" : std::to_string(step)));
    }
    return traces;
}

}  // namespace hostlens::test
