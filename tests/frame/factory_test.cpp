// The exported factories: shared singletons, per-call WMI managers, the logger's
// life from the first counted user to the last, and what a Free does with pointers
// that are not its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>
#include <vector>

#include "support/agent_install.h"
#include "frame/module.h"
#include "hostlens/Exports.h"
#include "support/machine_test.h"
#include "support/test_logger.h"

namespace hostlens::test {
namespace {

using module::LiveUsers;
using module::Logger;

class FactoryTest : public MachineTest {
protected:
    void InstallLogger() {
        WriteInstallPath(kAgentFolder);
        InstallTestLogger(DriveC());
    }
    static bool LoggingLibraryRequested() {
        auto requests = sim::ModuleLoadRequests();
        return std::any_of(requests.begin(), requests.end(), [](const std::string& name) {
            return name.find("Logbridge.dll") != std::string::npos;
        });
    }
};

TEST_F(FactoryTest, SharedServiceIsOneObjectUntilItsLastFree) {
    InstallLogger();
    IBattery* first = GetIBattery();
    IBattery* second = GetIBattery();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(LiveUsers(), 1u);
    ASSERT_NE(Logger(), nullptr);

    FreeIBattery(&first);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(LiveUsers(), 1u) << "one reference is still out";
    EXPECT_NE(Logger(), nullptr);

    IBattery* kept = second;
    FreeIBattery(&second);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(LiveUsers(), 0u);
    EXPECT_EQ(Logger(), nullptr) << "the last user unloads the logging library";

    // The old pointer is stale now: a Free leaves it alone.
    FreeIBattery(&kept);
    EXPECT_NE(kept, nullptr);
    EXPECT_EQ(sim::Open().modules, 0);
}

TEST_F(FactoryTest, EveryWmiManagerIsNewAndCounted) {
    InstallLogger();
    IWmiMng* a = GetIWmiMng();
    IWmiMng* b = GetIWmiMng();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(LiveUsers(), 2u);
    FreeIWmiMng(&a);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(LiveUsers(), 1u);
    FreeIWmiMng(&b);
    EXPECT_EQ(LiveUsers(), 0u);
    EXPECT_EQ(Logger(), nullptr);
}

TEST_F(FactoryTest, FreeIgnoresPointersThatAreNotTheCurrentObject) {
    InstallLogger();
    IHardware* hardware = GetIHardware();
    ISystem* system = GetISystem();
    ASSERT_NE(hardware, nullptr);
    ASSERT_NE(system, nullptr);
    DWORD users = LiveUsers();

    struct Case {
        const char* what;
        IHardware* pointer;
    };
    alignas(void*) char fake[64] = {};  // never handed out
    const Case cases[] = {
        {"another interface's object", reinterpret_cast<IHardware*>(system)},
        {"an object that was never handed out", reinterpret_cast<IHardware*>(fake)},
        {"a pointer one past the object",
         reinterpret_cast<IHardware*>(reinterpret_cast<char*>(hardware) + 8)},
    };
    for (const Case& c : cases) {
        IHardware* pointer = c.pointer;
        FreeIHardware(&pointer);
        EXPECT_EQ(pointer, c.pointer) << c.what << ": the caller's pointer must stay";
        EXPECT_EQ(LiveUsers(), users) << c.what;
    }
    // Null argument and a null pointer only trace.
    FreeIHardware(nullptr);
    IHardware* none = nullptr;
    FreeIHardware(&none);
    IWmiMng* noManager = nullptr;
    FreeIWmiMng(nullptr);
    FreeIWmiMng(&noManager);
    EXPECT_EQ(LiveUsers(), users);

    // The real objects still work and go away normally.
    FreeIHardware(&hardware);
    FreeISystem(&system);
    EXPECT_EQ(hardware, nullptr);
    EXPECT_EQ(LiveUsers(), 0u);
}

TEST_F(FactoryTest, ServicesWorkWithoutTheLoggingLibraryAndRetryTheLoad) {
    // No installation folder and no library anywhere: every Get still gives an object.
    IBattery* battery = GetIBattery();
    IWmiMng* manager = GetIWmiMng();
    ASSERT_NE(battery, nullptr);
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(Logger(), nullptr);
    EXPECT_EQ(LiveUsers(), 0u);
    unsigned loadsBefore = sim::CallCount("LoadLibraryExW");

    // The library becomes available: the next Get that makes an object loads it.
    InstallLogger();
    IHardware* hardware = GetIHardware();
    ASSERT_NE(hardware, nullptr);
    EXPECT_GT(sim::CallCount("LoadLibraryExW"), loadsBefore);
    ASSERT_NE(Logger(), nullptr);
    EXPECT_EQ(LiveUsers(), 1u);

    // Objects made while the library was missing were not counted: releasing them
    // must not take the logger from the hardware object.
    FreeIBattery(&battery);
    FreeIWmiMng(&manager);
    EXPECT_EQ(LiveUsers(), 1u);
    EXPECT_NE(Logger(), nullptr);

    FreeIHardware(&hardware);
    EXPECT_EQ(LiveUsers(), 0u);
    EXPECT_EQ(Logger(), nullptr);
    EXPECT_EQ(TestLogger::Counts().frees, TestLogger::Counts().gets);
}

TEST_F(FactoryTest, SoftwareAndProxyNeverLoadTheLoggingLibrary) {
    InstallLogger();
    ISoftware* software = GetISoftware();
    IProxyInfo* proxy = GetIProxyInfo();
    ASSERT_NE(software, nullptr);
    ASSERT_NE(proxy, nullptr);
    EXPECT_FALSE(LoggingLibraryRequested());
    EXPECT_EQ(LiveUsers(), 0u);
    FreeISoftware(&software);
    FreeIProxyInfo(&proxy);
    EXPECT_EQ(software, nullptr);
    EXPECT_EQ(proxy, nullptr);
}

TEST_F(FactoryTest, EveryExportPairHandsOutAndTakesBack) {
    InstallLogger();
    struct Pair {
        const char* name;
        void* (*get)();
        void (*free)(void**);
    };
#define PAIR(Interface, Name)                                                             \
    Pair {                                                                                \
#Name, [] { return static_cast<void*>(GetI##Name()); },                                 \
            [](void** p) { FreeI##Name(reinterpret_cast<Interface**>(p)); } \
    }
    const Pair pairs[] = {PAIR(IWmiMng, WmiMng),
                          PAIR(IProxyInfo, ProxyInfo),
                          PAIR(Hostlens::ILocation, Location),
                          PAIR(IBattery, Battery),
                          PAIR(ISoftware, Software),
                          PAIR(IHardware, Hardware),
                          PAIR(IActiveDirectory, ActiveDirectory),
                          PAIR(IExchange, Exchange),
                          PAIR(ISystem, System),
                          PAIR(Hostlens::IAutomaticUpdates, AutomaticUpdates)};
#undef PAIR
    std::vector<void*> objects;
    for (const Pair& pair : pairs) {
        void* object = pair.get();
        EXPECT_NE(object, nullptr) << pair.name;
        objects.push_back(object);
    }
    EXPECT_EQ(LiveUsers(), 8u) << "eight of the ten hold the logger";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        pairs[i].free(&objects[i]);
        EXPECT_EQ(objects[i], nullptr) << pairs[i].name;
    }
    EXPECT_EQ(LiveUsers(), 0u);
}

TEST_F(FactoryTest, ConcurrentGetsAndFreesKeepTheCountsConsistent) {
    InstallLogger();
    constexpr int kThreads = 8;
    constexpr int kRounds = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            std::mt19937 random(static_cast<unsigned>(t));
            std::vector<IBattery*> batteries;
            std::vector<IWmiMng*> managers;
            std::vector<ISoftware*> software;
            for (int round = 0; round < kRounds; ++round) {
                switch (random() % 6) {
                    case 0:
                        batteries.push_back(GetIBattery());
                        break;
                    case 1:
                        managers.push_back(GetIWmiMng());
                        break;
                    case 2:
                        software.push_back(GetISoftware());
                        break;
                    case 3:
                        if (!batteries.empty()) {
                            FreeIBattery(&batteries.back());
                            batteries.pop_back();
                        }
                        break;
                    case 4:
                        if (!managers.empty()) {
                            FreeIWmiMng(&managers.back());
                            managers.pop_back();
                        }
                        break;
                    default:
                        if (!software.empty()) {
                            FreeISoftware(&software.back());
                            software.pop_back();
                        }
                        break;
                }
            }
            for (auto* p : batteries) FreeIBattery(&p);
            for (auto* p : managers) FreeIWmiMng(&p);
            for (auto* p : software) FreeISoftware(&p);
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(LiveUsers(), 0u);
    EXPECT_EQ(Logger(), nullptr);
}

}  // namespace
}  // namespace hostlens::test
