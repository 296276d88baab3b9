// The fixture of every test that runs against the simulated machine: a fresh
// machine with its own drive C: per test, and a check at the end that the test left
// nothing open (keys, handles, modules, COM objects, BSTRs, SAFEARRAYs).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/posix/machine/sim.h"
#include "platform/win32.h"

namespace hostlens::test {

class MachineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The host folder behind C:\ of this test's machine.
    const std::filesystem::path& DriveC() const { return driveC_; }
    // Writes a file below C:\ (path with forward slashes), creating folders.
    std::filesystem::path WriteFile(const std::string& relative, const std::string& content);

private:
    std::filesystem::path root_;
    std::filesystem::path driveC_;
    sim::OpenCounts before_;
};

// UTF-16 to UTF-8, for messages.
std::string Utf8(const WString& text);
WString Wide(const std::string& utf8);

}  // namespace hostlens::test
