#include "machine_test.h"

#include <fstream>
#include <unistd.h>

#include <random>

#include "platform/posix/machine/machine.h"

namespace hostlens::test {

void MachineTest::SetUp() {
    std::random_device random;
    root_ = std::filesystem::temp_directory_path() /
            ("hostlens-test-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
    driveC_ = root_ / "drive_c";
    std::filesystem::create_directories(driveC_);
    sim::ResetMachine(driveC_);
    before_ = sim::Open();
}

void MachineTest::TearDown() {
    sim::ClearFaults();
    sim::OpenCounts after = sim::Open();
    EXPECT_EQ(after, before_) << "left open: " << sim::Describe(after)
                              << " (before the test: " << sim::Describe(before_) << ")";
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

std::filesystem::path MachineTest::WriteFile(const std::string& relative, const std::string& content) {
    std::filesystem::path path = driveC_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::string Utf8(const WString& text) {
    return sim::detail::Narrow(std::u16string_view(text.data(), text.size()));
}

WString Wide(const std::string& utf8) {
    std::u16string wide = sim::detail::Widen(utf8);
    return WString(wide.begin(), wide.end());
}

}  // namespace hostlens::test
