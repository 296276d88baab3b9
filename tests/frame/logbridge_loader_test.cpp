// Where the logging library is loaded from, and how the loaders share it.
#include <gtest/gtest.h>

#include "support/agent_install.h"
#include "frame/logbridge_loader.h"
#include "support/machine_test.h"
#include "support/test_logger.h"

namespace hostlens::test {
namespace {

using LogbridgeLoaderTest = MachineTest;

std::string LastRequest() {
    auto requests = sim::ModuleLoadRequests();
    return requests.empty() ? std::string() : requests.back();
}

TEST_F(LogbridgeLoaderTest, LoadsFromTheUtilsFolderOfTheInstallPath) {
    struct Case {
        const WCHAR* installPath;  // null: no registry key at all
        const char* expectedRequest;
    };
    const Case cases[] = {
        {W("C:\\Agent"), "C:\\Agent\\Utils\\Logbridge.dll"},
        {W("C:\\Agent\\"), "C:\\Agent\\Utils\\Logbridge.dll"},
        {nullptr, "Logbridge.dll"},
    };
    for (const Case& c : cases) {
        DeleteInstallPath();
        if (c.installPath != nullptr) WriteInstallPath(c.installPath);
        CLogbridgeLoader loader;
        EXPECT_EQ(LastRequest(), c.expectedRequest);
        EXPECT_EQ(loader.GetLogger(), nullptr) << "no library is installed";
    }
}

TEST_F(LogbridgeLoaderTest, LoadersShareOneLibraryUntilTheLastIsDestroyed) {
    WriteInstallPath(W("C:\\Agent"));
    TestLogger::Install(DriveC(), "Agent");
    auto* first = new CLogbridgeLoader;
    auto* second = new CLogbridgeLoader;
    EXPECT_EQ(sim::Open().modules, 1);
    EXPECT_EQ(sim::CallCount("LoadLibraryExW"), 1u);

    ILogbridge* logger = first->GetLogger();
    ASSERT_NE(logger, nullptr);
    second->FreeLogger(&logger);
    EXPECT_EQ(TestLogger::Counts().frees, 1);

    delete first;
    EXPECT_EQ(sim::Open().modules, 1);
    delete second;
    EXPECT_EQ(sim::Open().modules, 0);
}

TEST_F(LogbridgeLoaderTest, LibraryWithoutItsExportsGivesNoLogger) {
    WriteInstallPath(W("C:\\Agent"));
    TestLogger::Install(DriveC(), "Agent");
    sim::FailCall("GetProcAddress", 1, ERROR_PROC_NOT_FOUND);
    CLogbridgeLoader loader;
    EXPECT_EQ(loader.GetLogger(), nullptr);
    // FreeILogbridge missing: the logger is simply not handed back.
    sim::FailCall("GetProcAddress", 1, ERROR_PROC_NOT_FOUND, 5);
    ILogbridge* logger = reinterpret_cast<ILogbridge*>(&loader);
    loader.FreeLogger(&logger);
    EXPECT_NE(logger, nullptr);
}

}  // namespace
}  // namespace hostlens::test
