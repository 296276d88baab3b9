// The fixture of tests written against the Win32 API alone, so that they also run on
// Windows. On Linux each test gets a fresh simulated machine and a check at the end
// that it left nothing open; on Windows the tests run against the system itself and
// must keep to places they own.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/win32.h"

namespace hostlens::test {

class ApiTest : public ::testing::Test {
protected:
    ApiTest();
    ~ApiTest() override;
    void SetUp() override;
    void TearDown() override;

private:
    struct Platform;  // what the platform's half of the fixture keeps
    std::unique_ptr<Platform> platform_;
};

}  // namespace hostlens::test
