// The service library on a real Windows machine (Wine in CI): loaded, and its exports
// bound by name, as the agent does; each service asked for what this machine has and
// compared with what the system itself says.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "hostlens/Exports.h"
#include "hostlens/Logbridge.h"
#include "support/agent_install.h"
#include "support/api_test.h"
#include "support/test_logger.h"

namespace hostlens::test {
namespace {

const WCHAR kCimV2[] = W("ROOT\\CIMV2");

class ServicesTest : public ApiTest {
protected:
    void SetUp() override {
        ApiTest::SetUp();
        // By its full path: the test programs' folder is not the library's.
        library_ = LoadLibraryW((ProgramFolder() / HOSTLENS_SERVICE_LIBRARY).lexically_normal().c_str());
        ASSERT_NE(library_, nullptr) << "error " << GetLastError();
    }
    void TearDown() override {
        if (library_ != nullptr) {
            EXPECT_TRUE(FreeLibrary(library_));
        }
        DeleteInstallPath();
        ApiTest::TearDown();
    }

    template <typename Fn>
    Fn Bind(const std::string& name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library_, name.c_str())));
    }

    // One Get/Free pair, bound by name: the object comes out, and the Free takes it back.
    template <class Interface>
    void CheckPair(const std::string& service) const {
        SCOPED_TRACE(service);
        auto get = Bind<Interface*(WINAPI*)()>("GetI" + service);
        auto release = Bind<void(WINAPI*)(Interface**)>("FreeI" + service);
        ASSERT_NE(get, nullptr);
        ASSERT_NE(release, nullptr);
        Interface* object = get();
        ASSERT_NE(object, nullptr);
        release(&object);
        EXPECT_EQ(object, nullptr);
    }

    // The WMI manager, working in ROOT\CIMV2.
    IWmiMng* Manager() {
        auto get = Bind<GetIWmiMngFn>("GetIWmiMng");
        if (get == nullptr) return nullptr;
        IWmiMng* manager = get();
        if (manager != nullptr) manager->SetNamespace(kCimV2);
        return manager;
    }
    void Free(IWmiMng* manager) { Bind<FreeIWmiMngFn>("FreeIWmiMng")(&manager); }

private:
    HMODULE library_ = nullptr;
};

WmiQuery MakeQuery(const WCHAR* text, std::initializer_list<const WCHAR*> properties = {}) {
    WmiQuery query;
    query.Query = text;
    int i = 0;
    for (const WCHAR* name : properties) query.Properties[i++] = name;
    return query;
}

WString StartOf(const WString& text, std::size_t length) {
    return text.substr(0, length);
}

TEST_F(ServicesTest, EveryExportPairHandsOutAndTakesBackItsObject) {
    CheckPair<IWmiMng>("WmiMng");
    CheckPair<IProxyInfo>("ProxyInfo");
    CheckPair<Hostlens::ILocation>("Location");
    CheckPair<IBattery>("Battery");
    CheckPair<ISoftware>("Software");
    CheckPair<IHardware>("Hardware");
    CheckPair<IActiveDirectory>("ActiveDirectory");
    CheckPair<IExchange>("Exchange");
    CheckPair<ISystem>("System");
    CheckPair<Hostlens::IAutomaticUpdates>("AutomaticUpdates");
}

TEST_F(ServicesTest, BatteryReportsWhatTheSystemReports) {
    SYSTEM_POWER_STATUS expected{};
    const bool available = GetSystemPowerStatus(&expected);

    IBattery* battery = Bind<GetIBatteryFn>("GetIBattery")();
    ASSERT_NE(battery, nullptr);
    SYSTEM_POWER_STATUS status{};
    EXPECT_EQ(battery->GetBatteryStatus(&status), available ? 0u : static_cast<DWORD>(ERROR_NO_DATA));
    if (available) {
        EXPECT_EQ(status.ACLineStatus, expected.ACLineStatus);
        EXPECT_EQ(status.BatteryFlag, expected.BatteryFlag);
        EXPECT_EQ(status.BatteryLifePercent, expected.BatteryLifePercent);
        EXPECT_EQ(status.BatteryLifeTime, expected.BatteryLifeTime);
        EXPECT_EQ(status.BatteryFullLifeTime, expected.BatteryFullLifeTime);
    }
    Bind<FreeIBatteryFn>("FreeIBattery")(&battery);
}

TEST_F(ServicesTest, WmiManagerAnswersFromTheMachinesRepository) {
    IWmiMng* manager = Manager();
    ASSERT_NE(manager, nullptr);

    // The operating system, as the version functions of a Windows 10 program see it.
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExW(&version));
    EXPECT_EQ(version.dwMajorVersion, 10u) << "the test program's manifest declares Windows 10";
    std::vector<WmiStringRow> os;
    ASSERT_EQ(manager->QueryAsStrings(MakeQuery(W("SELECT Caption, Version FROM Win32_OperatingSystem"),
                                                {W("Caption"), W("Version")}),
                                      os),
              0u);
    ASSERT_EQ(os.size(), 1u);
    EXPECT_EQ(StartOf(os[0][W("Caption")], 17), W("Microsoft Windows"));
    EXPECT_EQ(StartOf(os[0][W("Version")], 5), W("10.0."));

    // As many logical processors as the system gives the process.
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    std::vector<WmiRow> processors;
    ASSERT_EQ(manager->Query(MakeQuery(W("SELECT NumberOfLogicalProcessors FROM Win32_Processor"),
                                       {W("NumberOfLogicalProcessors")}),
                             processors),
              0u);
    ASSERT_FALSE(processors.empty());
    DWORD logical = 0;
    for (const WmiRow& row : processors) {
        const VARIANT& value = row.at(W("NumberOfLogicalProcessors")).Get();
        ASSERT_EQ(value.vt, VT_I4) << "uint32 comes as VT_I4, as WMI delivers it";
        logical += static_cast<DWORD>(value.lVal);
    }
    EXPECT_EQ(logical, system.dwNumberOfProcessors);

    // The computer's name, as GetComputerNameW gives it.
    WCHAR name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(name, &length));
    std::vector<WmiStringRow> computer;
    ASSERT_EQ(manager->QueryAsStrings(MakeQuery(W("SELECT Name FROM Win32_ComputerSystem")), computer), 0u);
    ASSERT_EQ(computer.size(), 1u);
    EXPECT_EQ(computer[0][W("Name")], WString(name, length));

    // Queries WMI rejects come back with WMI's result.
    std::vector<WmiRow> rows;
    EXPECT_EQ(manager->Query(MakeQuery(W("SELECT * FROM")), rows), static_cast<DWORD>(WBEM_E_INVALID_QUERY));
    EXPECT_TRUE(rows.empty());
    const DWORD unknownClass = WineDiffers("a query on an unknown class succeeds with no rows")
                                   ? 0u
                                   : static_cast<DWORD>(WBEM_E_INVALID_CLASS);
    EXPECT_EQ(manager->Query(MakeQuery(W("SELECT * FROM Win32_NoSuchClass")), rows), unknownClass);
    EXPECT_TRUE(rows.empty());
    Free(manager);
}

// Where Windows documents a class's properties, Wine's WMI lacks some of them; a query
// whose condition names one fails. Each is a difference in docs/testing.md.
TEST_F(ServicesTest, WmiManagerPassesWmisResultsThrough) {
    IWmiMng* manager = Manager();
    ASSERT_NE(manager, nullptr);
    struct Case {
        const char* wineDifference;
        const WCHAR* wmiNamespace;
        const WCHAR* query;
        DWORD windowsResult;
        DWORD wineResult;
    };
    const Case cases[] = {
        {"Win32_NetworkAdapter has no NetConnectionID", kCimV2,
         W("SELECT Name FROM Win32_NetworkAdapter WHERE NetConnectionID IS NOT NULL"), 0, WBEM_E_FAILED},
        {"Win32_NetworkAdapterConfiguration has no InterfaceIndex", kCimV2,
         W("SELECT Description FROM Win32_NetworkAdapterConfiguration WHERE InterfaceIndex > 0"), 0,
         WBEM_E_FAILED},
        {"Win32_PhysicalMemory has no Speed", kCimV2,
         W("SELECT Capacity FROM Win32_PhysicalMemory WHERE Speed > 0"), 0, WBEM_E_FAILED},
        {"Win32_BIOS has no BIOSVersion", kCimV2,
         W("SELECT Manufacturer FROM Win32_BIOS WHERE BIOSVersion IS NOT NULL"), 0, WBEM_E_FAILED},
        {"the TPM namespace does not exist", W("ROOT\\CIMV2\\Security\\MicrosoftTpm"),
         W("SELECT SpecVersion FROM Win32_Tpm"), 0, WBEM_E_INVALID_NAMESPACE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wineDifference);
        std::vector<WmiRow> rows;
        const DWORD expected = WineDiffers(c.wineDifference) ? c.wineResult : c.windowsResult;
        EXPECT_EQ(manager->QueryNamespace(c.wmiNamespace, MakeQuery(c.query), rows), expected);
    }

    // Chassis types are uint16 values in an array of VT_I4.
    std::vector<WmiRow> enclosures;
    ASSERT_EQ(
        manager->Query(MakeQuery(W("SELECT ChassisTypes FROM Win32_SystemEnclosure"), {W("ChassisTypes")}),
                       enclosures),
        0u);
    ASSERT_FALSE(enclosures.empty());
    const VARIANT& types = enclosures[0].at(W("ChassisTypes")).Get();
    ASSERT_EQ(types.vt, VT_ARRAY | VT_I4);
    LONG lower = 0;
    LONG upper = -1;
    ASSERT_EQ(SafeArrayGetLBound(types.parray, 1, &lower), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(types.parray, 1, &upper), S_OK);
    ASSERT_LE(lower, upper);
    const LONG mask = WineDiffers("ChassisTypes elements carry garbage in their high 16 bits") ? 0xFFFF : ~0;
    for (LONG i = lower; i <= upper; ++i) {
        LONG type = 0;
        ASSERT_EQ(SafeArrayGetElement(types.parray, &i, &type), S_OK);
        EXPECT_GE(type & mask, 1) << "element " << i;
        EXPECT_LE(type & mask, 36) << "element " << i;
    }
    Free(manager);
}

// The hardware record and the start time of the machine the test runs on. Wine's WMI
// lacks properties that some queries name in their condition: those lists stay empty.
TEST_F(ServicesTest, HardwareAndStartTimeOfThisMachine) {
    IHardware* hardware = Bind<GetIHardwareFn>("GetIHardware")();
    ASSERT_NE(hardware, nullptr);
    HardwareInfo info;
    EXPECT_EQ(hardware->GetHardwareInfo(info), 0u);
    EXPECT_FALSE(info.Processors.empty());
    EXPECT_TRUE(!WineDiffers("Win32_NetworkAdapter has no NetConnectionID") || info.NetworkAdapters.empty());
    EXPECT_TRUE(!WineDiffers("Win32_DesktopMonitor has none of the monitor query's condition") ||
                info.Monitors.empty());
    EXPECT_TRUE(!WineDiffers("the TPM namespace does not exist") || info.TpmModules.empty());
    Bind<FreeIHardwareFn>("FreeIHardware")(&hardware);

    ISystem* system = Bind<GetISystemFn>("GetISystem")();
    ASSERT_NE(system, nullptr);
    SYSTEMTIME bootTime{};
    ASSERT_EQ(system->GetLastBootUpTime(&bootTime), 0u);
    FILETIME boot{};
    FILETIME now{};
    ASSERT_TRUE(SystemTimeToFileTime(&bootTime, &boot));
    GetSystemTimeAsFileTime(&now);
    auto ticks = [](const FILETIME& t) {
        return static_cast<LONGLONG>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    const LONGLONG expected = ticks(now) - static_cast<LONGLONG>(GetTickCount64()) * 10000;
    EXPECT_LT(std::llabs(ticks(boot) - expected), 2 * 10000000LL)
        << "within 2 s of now minus the time since start";
    Bind<FreeISystemFn>("FreeISystem")(&system);
}

// The logging library is found through the install path in the registry, loaded by
// the first service that logs and unloaded by the last, and gets the messages.
TEST_F(ServicesTest, LoggingLibraryComesFromTheInstallPathAndGetsTheMessages) {
    WriteInstallPath(Scratch() + W("\\Agent"));
    TestLogger::Install(ScratchHost(), "Agent");
    IWmiMng* manager = Manager();
    ASSERT_NE(manager, nullptr);

    HMODULE logger = GetModuleHandleW(W("Logbridge.dll"));
    ASSERT_NE(logger, nullptr);
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(logger, path, MAX_PATH);
    EXPECT_EQ(CompareStringOrdinal(path, static_cast<int>(length),
                                   (Scratch() + W("\\Agent\\Utils\\Logbridge.dll")).c_str(), -1, TRUE),
              CSTR_EQUAL);
    EXPECT_EQ(TestLogger::Counts(), (LoggerCounts{1, 0}));

    std::vector<WmiRow> rows;
    EXPECT_EQ(manager->Query(MakeQuery(W("SELECT * FROM")), rows), static_cast<DWORD>(WBEM_E_INVALID_QUERY));
    EXPECT_EQ(
        manager->QueryNamespace(W("ROOT\\NoSuchNamespace"), MakeQuery(W("SELECT * FROM Win32_Tpm")), rows),
        static_cast<DWORD>(WBEM_E_INVALID_NAMESPACE));
    EXPECT_EQ(TestLogger::Take(),
              (std::vector<LoggedMessage>{
                  {LOG_LEVEL_ERROR, "Error -2147217385: Executing WMI query"},
                  {LOG_LEVEL_ERROR, "Error -2147217394, cannot connect to namespace ROOT\\NoSuchNamespace"},
                  {LOG_LEVEL_ERROR, "Error -2147217394: Connecting to wmi namespace ROOT\\NoSuchNamespace"},
              }));

    Free(manager);
    EXPECT_EQ(GetModuleHandleW(W("Logbridge.dll")), nullptr) << "the last user unloads the logging library";
}

}  // namespace
}  // namespace hostlens::test
