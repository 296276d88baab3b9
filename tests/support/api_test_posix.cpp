// The Linux half of ApiTest: a fresh machine per test, nothing left open after it.
#include "api_test.h"

#include "platform/posix/sim.h"

namespace hostlens::test {

struct ApiTest::Platform {
    sim::OpenCounts before;
};

ApiTest::ApiTest() : platform_(std::make_unique<Platform>()) {}
ApiTest::~ApiTest() = default;

void ApiTest::SetUp() {
    sim::ResetMachine();
    platform_->before = sim::Open();
}

void ApiTest::TearDown() {
    sim::ClearFaults();
    sim::OpenCounts after = sim::Open();
    EXPECT_EQ(after, platform_->before) << "left open: " << sim::Describe(after)
                                        << " (before the test: " << sim::Describe(platform_->before) << ")";
}

}  // namespace hostlens::test
