// CLoader: load counts, the folder and name it loads from, and the function cache.
#include <gtest/gtest.h>

#include <algorithm>

#include "frame/loader.h"
#include "support/machine_test.h"
#include "support/test_logger.h"

namespace hostlens::test {
namespace {

class LoaderTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        TestLogger::Install(DriveC(), "Tools");  // as C:\\Tools\\Utils\\Logbridge.dll
    }
    static std::string LastRequest() {
        auto requests = sim::ModuleLoadRequests();
        return requests.empty() ? std::string() : requests.back();
    }
};

TEST_F(LoaderTest, LoadJoinsFolderAndNameAndCountsFurtherLoads) {
    CLoader loader{WString()};
    ASSERT_TRUE(loader.Load(W("Logbridge.dll"), W("C:\\Tools\\Utils")));
    EXPECT_EQ(LastRequest(), "C:\\Tools\\Utils\\Logbridge.dll") << "one backslash between folder and name";
    EXPECT_EQ(loader.GetFolder(), W("C:\\Tools\\Utils\\"));
    EXPECT_EQ(sim::Open().modules, 1);

    // A second Load looks at nothing and loads nothing: it only counts.
    std::size_t requests = sim::ModuleLoadRequests().size();
    EXPECT_TRUE(loader.Load(W("Other.dll"), WString()));
    EXPECT_EQ(sim::ModuleLoadRequests().size(), requests);
    EXPECT_EQ(loader.GetLibraryName(), W("Logbridge.dll"));

    loader.Unload();
    EXPECT_EQ(sim::Open().modules, 1) << "the first Unload leaves the library loaded";
    loader.Unload();
    EXPECT_EQ(sim::Open().modules, 0);
    loader.Unload();  // count 0: nothing happens
    EXPECT_EQ(sim::Open().modules, 0);
}

TEST_F(LoaderTest, FolderOfConstructorIsUsedWhenLoadGivesNone) {
    struct Case {
        const WCHAR* constructorFolder;
        const WCHAR* loadFolder;
        const char* expectedRequest;
    };
    const Case cases[] = {
        {W("C:\\Tools\\Utils"), W(""), "C:\\Tools\\Utils\\Logbridge.dll"},
        {W("C:\\Tools\\Utils\\"), W(""), "C:\\Tools\\Utils\\Logbridge.dll"},
        {W("C:\\Elsewhere"), W("C:\\Tools\\Utils\\"), "C:\\Tools\\Utils\\Logbridge.dll"},
        {W(""), W(""), "Logbridge.dll"},
    };
    for (const Case& c : cases) {
        CLoader loader{WString(c.constructorFolder)};
        loader.Load(W("Logbridge.dll"), c.loadFolder);
        EXPECT_EQ(LastRequest(), c.expectedRequest);
    }
}

TEST_F(LoaderTest, FoundFunctionsAreAskedForOnceMissingOnesEveryTime) {
    CLoader loader{W("C:\\Tools\\Utils")};
    ASSERT_TRUE(loader.Load(W("Logbridge.dll"), WString()));
    unsigned before = sim::CallCount("GetProcAddress");
    FARPROC first = loader.GetFunction("GetILogbridge");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(loader.GetFunction("GetILogbridge"), first);
    EXPECT_TRUE(loader.HasFunction("GetILogbridge"));
    EXPECT_EQ(sim::CallCount("GetProcAddress"), before + 1);

    EXPECT_EQ(loader.GetFunction("NoSuchFunction"), nullptr);
    EXPECT_FALSE(loader.HasFunction("NoSuchFunction"));
    EXPECT_EQ(sim::CallCount("GetProcAddress"), before + 3);
}

TEST_F(LoaderTest, FailedLoadLeavesItEmptyAndAsksNothing) {
    CLoader loader{W("C:\\Missing")};
    EXPECT_FALSE(loader.Load(W("Logbridge.dll"), WString()));
    unsigned before = sim::CallCount("GetProcAddress");
    EXPECT_EQ(loader.GetFunction("GetILogbridge"), nullptr);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), before);
    loader.Unload();

    // The next Load tries again, with the new name and folder.
    EXPECT_TRUE(loader.Load(W("Logbridge.dll"), W("C:\\Tools\\Utils")));
    EXPECT_NE(loader.GetFunction("GetILogbridge"), nullptr);
}

TEST_F(LoaderTest, PlatformFailureOfTheLoadIsReportedAsFalse) {
    sim::FailCall("LoadLibraryExW", 1, ERROR_ACCESS_DENIED);
    CLoader loader{W("C:\\Tools\\Utils")};
    EXPECT_FALSE(loader.Load(W("Logbridge.dll"), WString()));
    EXPECT_EQ(sim::Open().modules, 0);
}

TEST_F(LoaderTest, DestructorUnloadsOnceOnly) {
    {
        CLoader loader{W("C:\\Tools\\Utils")};
        loader.Load(W("Logbridge.dll"), WString());
    }
    EXPECT_EQ(sim::Open().modules, 0);
    HMODULE leftLoaded = nullptr;
    {
        CLoader loader{W("C:\\Tools\\Utils")};
        loader.Load(W("Logbridge.dll"), WString());
        loader.Load(W("Logbridge.dll"), WString());
    }
    // A loader loaded twice keeps its library after destruction.
    leftLoaded = GetModuleHandleW(W("Logbridge.dll"));
    ASSERT_NE(leftLoaded, nullptr);
    EXPECT_EQ(sim::Open().modules, 1);
    FreeLibrary(leftLoaded);
}

}  // namespace
}  // namespace hostlens::test
