// The fixture of tests written against the Win32 API alone, so that they also run on
// Windows. On Linux each test gets a fresh simulated machine and a check at the end
// that it left nothing open; on Windows the tests run against the system itself and
// must keep to places they own. Every test gets an empty scratch folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "platform/win32.h"

namespace hostlens::test {

class ApiTest : public ::testing::Test {
protected:
    ApiTest();
    ~ApiTest() override;
    void SetUp() override;
    void TearDown() override;

    // The test's scratch folder, by its Windows path (for the Win32 API, no trailing
    // backslash) and by its host path (for std::filesystem).
    const WString& Scratch() const { return scratch_; }
    const std::filesystem::path& ScratchHost() const { return scratchHost_; }

private:
    struct Platform;  // what the platform's half of the fixture keeps
    // The platform's half: prepares the machine with the scratch folder inside `root`.
    void SetUpPlatform(const std::filesystem::path& root);
    void TearDownPlatform();

    std::unique_ptr<Platform> platform_;
    std::filesystem::path root_;
    std::filesystem::path scratchHost_;
    WString scratch_;
};

// Whether the Windows under the test is Wine (never, on Linux).
bool OnWine();

// For a test that meets one of Wine's differences from Windows (docs/testing.md lists
// them): true on Wine, after noting `difference` in the test's output, so that the
// test asserts what Wine does there, visibly; false elsewhere.
bool WineDiffers(const char* difference);

// The folder of the running test program, where the build also puts the modules that
// tests load (the service library, the sibling libraries, the test logger).
std::filesystem::path ProgramFolder();

}  // namespace hostlens::test
