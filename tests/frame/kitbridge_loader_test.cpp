// The configuration library's loader when the library is not installed.
#include <gtest/gtest.h>

#include "support/agent_install.h"
#include "frame/kitbridge_loader.h"
#include "support/machine_test.h"

namespace hostlens::test {
namespace {

class KitbridgeLoaderTest : public MachineTest {
protected:
    void TearDown() override {
        DestroyKitbridgeLoader();
        MachineTest::TearDown();
    }
};

TEST_F(KitbridgeLoaderTest, WithoutInstallPathTheLibraryIsAskedForByBareName) {
    struct Case {
        const WCHAR* installPath;
        const char* expectedRequest;
    };
    const Case cases[] = {{nullptr, "Kitbridge.dll"}, {W("C:\\Agent"), "C:\\Agent\\Utils\\Kitbridge.dll"}};
    for (const Case& c : cases) {
        DestroyKitbridgeLoader();
        DeleteInstallPath();
        if (c.installPath != nullptr) WriteInstallPath(c.installPath);
        EXPECT_EQ(AcquireKit(), nullptr);
        ASSERT_FALSE(sim::ModuleLoadRequests().empty());
        EXPECT_EQ(sim::ModuleLoadRequests().back(), c.expectedRequest);
        EXPECT_TRUE(KitbridgeLoaderExists()) << "the loader stays for the process";
        // The loader is made once: a second attempt loads nothing new.
        std::size_t requests = sim::ModuleLoadRequests().size();
        EXPECT_EQ(AcquireKit(), nullptr);
        EXPECT_EQ(sim::ModuleLoadRequests().size(), requests);
    }
    IKit* none = nullptr;
    ReleaseKit(nullptr);
    ReleaseKit(&none);
}

}  // namespace
}  // namespace hostlens::test
