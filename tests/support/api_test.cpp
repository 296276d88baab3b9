#include "api_test.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

namespace hostlens::test {

void ApiTest::SetUp() {
    // Test programs run side by side: the folder's name is random, not the test's.
    std::random_device device;
    std::mt19937_64 random(
        (static_cast<std::uint64_t>(device()) << 32) ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    char name[40];
    std::snprintf(name, sizeof(name), "hostlens-test-%016llx", static_cast<unsigned long long>(random()));
    root_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(root_);
    SetUpPlatform(root_);
}

void ApiTest::TearDown() {
    TearDownPlatform();
    // A module that a test loaded from its folder and left loaded would keep Windows
    // from deleting it: the folder is then left to the system's clean-up.
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

bool WineDiffers(const char* difference) {
    if (!OnWine()) return false;
    std::printf("[ WINE     ] %s\n", difference);
    ::testing::Test::RecordProperty("wine_difference", difference);
    return true;
}

}  // namespace hostlens::test
