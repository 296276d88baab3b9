// The Linux half of ApiTest: a fresh machine per test whose drive C: holds the
// scratch folder, and nothing left open after it.
#include "api_test.h"

#include "platform/posix/machine/sim.h"

namespace hostlens::test {

struct ApiTest::Platform {
    sim::OpenCounts before;
};

ApiTest::ApiTest() : platform_(std::make_unique<Platform>()) {}
ApiTest::~ApiTest() = default;

void ApiTest::SetUpPlatform(const std::filesystem::path& root) {
    std::filesystem::path driveC = root / "drive_c";
    scratchHost_ = driveC / "Scratch";
    scratch_ = W("C:\\Scratch");
    std::filesystem::create_directories(scratchHost_);
    sim::ResetMachine(driveC);
    platform_->before = sim::Open();
}

void ApiTest::TearDownPlatform() {
    sim::ClearFaults();
    sim::OpenCounts after = sim::Open();
    EXPECT_EQ(after, platform_->before) << "left open: " << sim::Describe(after)
                                        << " (before the test: " << sim::Describe(platform_->before) << ")";
}

bool OnWine() {
    return false;
}

std::filesystem::path ProgramFolder() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

}  // namespace hostlens::test
