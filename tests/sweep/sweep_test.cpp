// The fault sweep over every service operation: each platform call the operation
// makes fails once in turn (with each error Windows gives for that call), and the
// operation must survive it. One line per entry; each later service adds its
// operations here.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>

#include "hostlens/Exports.h"
#include "os/operating_system.h"
#include "platform/posix/registry/registry_store.h"
#include "software/registry_helpers.h"
#include "sweep.h"

namespace hostlens::sweep {
namespace {

using test::LoggedMessage;

// The result of an operation whose service object could not be made.
constexpr std::uint32_t kNoObject = 0xDEAD0001;

std::string Text(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// Gets and frees a service object the way the agent does; the pair is what is swept.
template <class Interface>
class GetAndFree : public Operation {
public:
    GetAndFree(Interface* (*get)(), void (*free)(Interface**)) : get_(get), free_(free) {}
    std::uint32_t Run() override {
        Interface* object = get_();
        if (object == nullptr) return kNoObject;
        free_(&object);
        return object == nullptr ? 0 : kNoObject;
    }

private:
    Interface* (*get_)();
    void (*free_)(Interface**);
};

template <class Interface>
Entry GetFree(const char* name, Interface* (*get)(), void (*free)(Interface**)) {
    return {"win11-workstation",
            name,
            [=] { return std::make_unique<GetAndFree<Interface>>(get, free); },
            {0},
            {}};
}

// Runs `body` on a service object the agent got before and frees after.
template <class Interface>
class OnService : public Operation {
public:
    using Body = std::function<std::uint32_t(Interface&)>;
    OnService(Interface* (*get)(), void (*free)(Interface**), Body body)
        : get_(get), free_(free), body_(std::move(body)) {}
    void Prepare() override { object_ = get_(); }
    std::uint32_t Run() override { return object_ != nullptr ? body_(*object_) : kNoObject; }
    void Finish() override {
        if (object_ != nullptr) free_(&object_);
    }

private:
    Interface* (*get_)();
    void (*free_)(Interface**);
    Body body_;
    Interface* object_ = nullptr;
};

// --- Battery -----------------------------------------------------------------------

Entry Battery(const char* machine) {
    return {machine,
            "battery GetBatteryStatus",
            [] {
                return std::make_unique<OnService<IBattery>>(&GetIBattery, &FreeIBattery,
                                                             [](IBattery& battery) {
                                                                 SYSTEM_POWER_STATUS status{};
                                                                 return battery.GetBatteryStatus(&status);
                                                             });
            },
            {0, ERROR_NO_DATA},
            [](const sim::RecordedCall& call, std::uint32_t) {
                std::vector<LoggedMessage> wanted;
                if (call.function == "GetSystemPowerStatus")
                    wanted.push_back({30, "ERROR cannot get battery status"});
                return wanted;
            }};
}

// --- WMI manager -------------------------------------------------------------------

const WCHAR kCimv2[] = W("ROOT\\CIMV2");
const WCHAR kTpm[] = W("ROOT\\CIMV2\\Security\\MicrosoftTpm");

// What the manager may answer besides the injected error: a row without values
// (1168), an exception caught while querying (4208) or connecting (5930), COM that
// could not be started (E_UNEXPECTED), WMI's own answers when its allocations fail or
// the namespace is missing, passed through.
const std::vector<std::uint32_t> kWmiResults = {0,
                                                ERROR_NOT_FOUND,
                                                4208,
                                                5930,
                                                static_cast<std::uint32_t>(E_UNEXPECTED),
                                                static_cast<std::uint32_t>(WBEM_E_OUT_OF_MEMORY),
                                                static_cast<std::uint32_t>(WBEM_E_INVALID_NAMESPACE),
                                                kInjected};

// The messages the manager quotes for a failing platform call, for a query on
// `ns` through Query (working namespace) or QueryNamespace.
std::vector<LoggedMessage> WmiMessages(const sim::RecordedCall& call, std::uint32_t error, const char* ns,
                                       bool workingNamespace) {
    const int hr = static_cast<int>(error);
    const std::string connecting = Text("Error %d: Connecting to wmi namespace %s", hr, ns);
    const std::string& f = call.function;
    if (f == "CoInitializeEx" && error == static_cast<std::uint32_t>(RPC_E_CHANGED_MODE))
        return {{30, "Error: RPC_E_CHANGED_MODE"}};
    if (f == "CoCreateInstance")
        return {{30, Text("Cannot create Instance of CLSID_WbemLocator %d", hr)},
                {30, Text("Error %d: Creating wmi instance", hr)},
                {30, connecting}};
    if (f == "IWbemLocator::ConnectServer")
        return {{30, Text("Error %d, cannot connect to namespace %s", hr, ns)}, {30, connecting}};
    if (f == "CoSetProxyBlanket")
        return {{30, Text("Error %d, cannot set proxy blanket", hr)}, {30, connecting}};
    if (f == "IWbemServices::ExecQuery" && error != static_cast<std::uint32_t>(WBEM_E_SHUTTING_DOWN))
        return {{30, Text(workingNamespace ? "Error %d: Executing WMI query" : "Error %d executing WMI query",
                          hr)}};
    if (f == "IWbemServices::ExecQuery.Allocate")
        return {{30, Text(workingNamespace ? "Error %d: Executing WMI query" : "Error %d executing WMI query",
                          4208)}};
    if (f == "IEnumWbemClassObject::Next")
        // Every earlier object gave a row.
        return {{30, Text("Error %d finding next, results = %u", hr, call.occurrence - 1)}};
    return {};
}

WmiQuery MakeQuery(const WCHAR* text, std::initializer_list<const WCHAR*> properties) {
    WmiQuery query;
    query.Query = text;
    int i = 0;
    for (const WCHAR* property : properties) query.Properties[i++] = property;
    return query;
}

using WmiBody = std::function<std::uint32_t(IWmiMng&)>;

Entry Wmi(const char* machine, const char* name, const char* ns, bool workingNamespace, WmiBody body) {
    return {machine,
            name,
            [body] { return std::make_unique<OnService<IWmiMng>>(&GetIWmiMng, &FreeIWmiMng, body); },
            kWmiResults,
            [=](const sim::RecordedCall& call, std::uint32_t error) {
                return WmiMessages(call, error, ns, workingNamespace);
            },
            true};
}

// SetNamespace between two queries: the second reconnects to the new namespace.
Entry WmiSetNamespace() {
    Entry entry = Wmi("win11-workstation", "WMI SetNamespace", "", true, [](IWmiMng& wmi) -> std::uint32_t {
        wmi.SetNamespace(kCimv2);
        WmiQuery bios = MakeQuery(W("SELECT SerialNumber FROM Win32_BIOS"), {W("SerialNumber")});
        std::vector<WmiRow> rows;
        if (DWORD result = wmi.Query(bios, rows)) return result;
        wmi.SetNamespace(kTpm);
        WmiQuery tpm = MakeQuery(W("SELECT SpecVersion FROM Win32_Tpm"), {W("SpecVersion")});
        return wmi.Query(tpm, rows);
    });
    // The first query connects to ROOT\CIMV2 and reads one BIOS row (Next #1, #2);
    // the second connects to the TPM namespace.
    entry.messages = [](const sim::RecordedCall& call, std::uint32_t error) {
        sim::RecordedCall counted = call;
        const bool second =
            call.function == "IEnumWbemClassObject::Next" ? call.occurrence > 2 : call.occurrence > 1;
        if (call.function == "IEnumWbemClassObject::Next" && second) counted.occurrence -= 2;
        return WmiMessages(counted, error, second ? "ROOT\\CIMV2\\Security\\MicrosoftTpm" : "ROOT\\CIMV2",
                           true);
    };
    return entry;
}

// --- Hardware and start time ---------------------------------------------------------

// The manager connects to ROOT\CIMV2 first and to the TPM namespace second. The rows
// read before a failing Next depend on the query it belongs to: not checked here.
std::vector<LoggedMessage> HardwareMessages(const sim::RecordedCall& call, std::uint32_t error) {
    if (call.function == "IEnumWbemClassObject::Next") return {};
    const bool tpm = call.occurrence == 2 &&
                     (call.function == "IWbemLocator::ConnectServer" || call.function == "CoSetProxyBlanket");
    return WmiMessages(call, error, tpm ? "ROOT\\CIMV2\\Security\\MicrosoftTpm" : "ROOT\\CIMV2", true);
}

Entry Hardware(const char* machine) {
    auto body = [](IHardware& hardware) {
        HardwareInfo info;
        return hardware.GetHardwareInfo(info);
    };
    return {machine,
            "hardware GetHardwareInfo",
            [=] { return std::make_unique<OnService<IHardware>>(&GetIHardware, &FreeIHardware, body); },
            {0, 0x80070490},
            HardwareMessages};
}

// The start time quotes no message of its own.
Entry System(const char* machine) {
    auto body = [](ISystem& system) {
        SYSTEMTIME bootTime{};
        return system.GetLastBootUpTime(&bootTime);
    };
    return {machine,
            "system GetLastBootUpTime",
            [=] { return std::make_unique<OnService<ISystem>>(&GetISystem, &FreeISystem, body); },
            {0, ERROR_NOT_FOUND},
            {}};
}

// --- Operating system and registry helpers ------------------------------------------

// The shared record, filled by the first object of a live period: one fill per run.
class OperatingSystemFill : public Operation {
public:
    std::uint32_t Run() override {
        COperatingSystem operatingSystem;
        OperatingSystemRecord record = operatingSystem.CopyRecord();
        return record.IsWindows == 1 ? 0 : 1;
    }
};

Entry OperatingSystem(const char* machine) {
    // A failing version test may even make the machine fail the NT test.
    return {machine,
            "operating-system record",
            [] { return std::make_unique<OperatingSystemFill>(); },
            {0, 1},
            {}};
}

// Every helper, on the machine's keys and on those of a user the thread impersonates.
class RegistryHelpers : public Operation {
public:
    void Prepare() override {
        sim::registry::SetThreadUser(u"S-1-5-21-2518416478-1846257393-4177326012-1001");
    }
    void Finish() override { sim::registry::SetThreadUser(u""); }
    std::uint32_t Run() override {
        const WCHAR* const kCurrentVersion = W("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
        std::uint32_t failures = 0;
        WString text;
        failures += !ReadRegistryString(HKEY_LOCAL_MACHINE, kCurrentVersion, W("ProductName"), text, true);
        DWORD number = 0;
        failures += !ReadRegistryDword(HKEY_LOCAL_MACHINE, kCurrentVersion, W("UBR"), &number, true);
        std::unique_ptr<WCHAR[]> names;
        failures +=
            GetSubKeyNames(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"),
                           names, true) != 0;
        failures += GetSubKeyNames(HKEY_CURRENT_USER, W("Software\\Microsoft\\Windows\\CurrentVersion"),
                                   names, false) != 0;
        SYSTEMTIME written{};
        failures += !GetKeyLastWriteTime(HKEY_LOCAL_MACHINE, kCurrentVersion, written, true);
        HKEY key = OpenRegistryKey(HKEY_CURRENT_USER, W("Environment"), false);
        failures += key == nullptr;
        CloseRegistryKey(key);
        return failures;
    }
};

Entry Helpers(const char* machine) {
    // Each helper that fails counts one.
    return {machine, "registry helpers", [] { return std::make_unique<RegistryHelpers>(); }, {0, 1, 2}, {}};
}

std::vector<Entry> Entries() {
    return {
        OperatingSystem("win11-workstation"),
        OperatingSystem("server2019"),
        Helpers("win11-workstation"),
        Battery("win11-workstation"),
        Battery("server2019"),
        Wmi("win11-workstation", "WMI Query (named properties)", "ROOT\\CIMV2", true,
            [](IWmiMng& wmi) {
                wmi.SetNamespace(kCimv2);
                WmiQuery query = MakeQuery(W("SELECT Name, Capacity, Speed FROM Win32_PhysicalMemory"),
                                           {W("Name"), W("Capacity"), W("Speed")});
                std::vector<WmiRow> rows;
                return wmi.Query(query, rows);
            }),
        Wmi("win11-workstation", "WMI QueryAsStrings (every property)", "ROOT\\CIMV2", true,
            [](IWmiMng& wmi) {
                wmi.SetNamespace(kCimv2);
                WmiQuery query = MakeQuery(W("SELECT * FROM Win32_SystemEnclosure"), {W("*")});
                std::vector<WmiStringRow> rows;
                return wmi.QueryAsStrings(query, rows);
            }),
        Wmi("win11-workstation", "WMI QueryNamespace", "ROOT\\CIMV2\\Security\\MicrosoftTpm", false,
            [](IWmiMng& wmi) {
                WmiQuery query = MakeQuery(W("SELECT * FROM Win32_Tpm"), {});
                std::vector<WmiRow> rows;
                return wmi.QueryNamespace(kTpm, query, rows);
            }),
        Wmi("win11-workstation", "WMI QueryNamespaceAsStrings", "ROOT\\CIMV2", false,
            [](IWmiMng& wmi) {
                WmiQuery query =
                    MakeQuery(W("SELECT Caption, Version, BuildNumber FROM Win32_OperatingSystem"),
                              {W("Caption"), W("Version"), W("BuildNumber")});
                std::vector<WmiStringRow> rows;
                return wmi.QueryNamespaceAsStrings(kCimv2, query, rows);
            }),
        // A namespace the machine lacks: the failure answers before any row.
        Wmi("server2019", "WMI QueryNamespace (missing namespace)", "ROOT\\CIMV2\\Security\\MicrosoftTpm",
            false,
            [](IWmiMng& wmi) {
                WmiQuery query = MakeQuery(W("SELECT * FROM Win32_Tpm"), {});
                std::vector<WmiRow> rows;
                return wmi.QueryNamespace(kTpm, query, rows);
            }),
        // SetNamespace between two queries: the second reconnects.
        WmiSetNamespace(),
        Hardware("win11-workstation"),
        Hardware("server2019"),
        Hardware("server2003r2-x64"),
        System("win11-workstation"),
        System("server2019"),
        System("server2003r2-x64"),
        GetFree("Get/Free WmiMng", &GetIWmiMng, &FreeIWmiMng),
        GetFree("Get/Free ProxyInfo", &GetIProxyInfo, &FreeIProxyInfo),
        GetFree("Get/Free Location", &GetILocation, &FreeILocation),
        GetFree("Get/Free Battery", &GetIBattery, &FreeIBattery),
        GetFree("Get/Free Software", &GetISoftware, &FreeISoftware),
        GetFree("Get/Free Hardware", &GetIHardware, &FreeIHardware),
        GetFree("Get/Free ActiveDirectory", &GetIActiveDirectory, &FreeIActiveDirectory),
        GetFree("Get/Free Exchange", &GetIExchange, &FreeIExchange),
        GetFree("Get/Free System", &GetISystem, &FreeISystem),
        GetFree("Get/Free AutomaticUpdates", &GetIAutomaticUpdates, &FreeIAutomaticUpdates),
    };
}

class Sweep : public ::testing::TestWithParam<Entry> {
protected:
    static void SetUpTestSuite() { SetSampleMachines(HOSTLENS_SAMPLE_MACHINES); }
    static void TearDownTestSuite() { RemoveMachineCopies(); }
};

TEST_P(Sweep, SurvivesEveryFailingPlatformCall) {
    const Report report = sweep::Sweep(GetParam());
    std::printf("%s\n", report.summary.c_str());
    // A few problems say enough; the rest are usually the same fault seen again.
    for (std::size_t i = 0; i < report.problems.size() && i < 20; ++i) ADD_FAILURE() << report.problems[i];
    if (report.problems.size() > 20) ADD_FAILURE() << "... and " << report.problems.size() - 20 << " more";
}

std::string EntryName(const ::testing::TestParamInfo<Entry>& info) {
    std::string name = info.param.name + " " + info.param.machine;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Services, Sweep, ::testing::ValuesIn(Entries()), EntryName);

}  // namespace

void PrintTo(const Entry& entry, std::ostream* out) {
    *out << entry.name << " on " << entry.machine;
}

}  // namespace hostlens::sweep
