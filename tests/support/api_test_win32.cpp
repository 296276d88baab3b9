// The Windows half of ApiTest: the real system needs no setting up.
#include "api_test.h"

namespace hostlens::test {

struct ApiTest::Platform {};

ApiTest::ApiTest() : platform_(std::make_unique<Platform>()) {}
ApiTest::~ApiTest() = default;
void ApiTest::SetUp() {}
void ApiTest::TearDown() {}

}  // namespace hostlens::test
