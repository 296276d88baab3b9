// Loading machine directories: what a loaded machine shows through the Win32 API, the
// messages for malformed files (and the empty machine they leave), the order in which
// registry files apply, the sample machines, and HOSTLENS_MACHINE at process start.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/machine/machine.h"
#include "platform/posix/registry/registry_store.h"
#include "platform/posix/machine/sim_machinedir.h"
#include "platform/win32.h"
#include "support/machine_test.h"

extern char** environ;

namespace hostlens {
namespace {

namespace fs = std::filesystem;
namespace reg = sim::registry;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

// 2024-01-31T12:00:00Z and 2023-11-02T08:15:00Z as FILETIME values.
constexpr std::uint64_t kJan31Noon = 133511760000000000ULL;
constexpr std::uint64_t kNov2 = 133433865000000000ULL;

std::string Utf16File(const std::string& utf8) {
    std::u16string text = sim::detail::Widen(utf8);
    std::string out = "\xFF\xFE";
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

std::uint64_t Ticks(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// A machine directory that the test writes; removed with the fixture.
class MachineDirTest : public test::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        std::random_device random;
        root_ = fs::temp_directory_path() /
                ("hostlens-machinedir-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
        fs::create_directories(root_);
    }
    void TearDown() override {
        MachineTest::TearDown();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // A fresh, empty machine directory below the fixture's folder.
    fs::path NewDir(const std::string& name) {
        fs::path dir = root_ / name;
        fs::create_directories(dir);
        return dir;
    }
    static void Write(const fs::path& dir, const std::string& relative, const std::string& bytes) {
        fs::path path = dir / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    // The machine as a fresh one is: nothing of a failed load is left.
    static void ExpectEmptyMachine(const std::string& context) {
        EXPECT_FALSE(sim::DriveFolder('C')) << context;
        EXPECT_EQ(GetACP(), 1252u) << context;
        EXPECT_EQ(sim::MachineFacts().os.build, sim::OsFacts{}.build) << context;
        EXPECT_FALSE(reg::KeyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor")) << context;
        EXPECT_EQ(*reg::SubkeyNames(u"HKEY_LOCAL_MACHINE\\SOFTWARE"),
                  (std::vector<std::u16string>{u"Classes"}))
            << context;
        EXPECT_EQ(Connect(u"ROOT\\CIMV2"), static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE)) << context;
    }

    // Connects to a namespace and disconnects; the connect step's result.
    static HRESULT Connect(const std::u16string& ns) {
        IWbemLocator* locator = nullptr;
        HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                      reinterpret_cast<void**>(&locator));
        if (FAILED(hr)) return hr;
        BSTR name = SysAllocString(reinterpret_cast<const OLECHAR*>(ns.c_str()));
        IWbemServices* services = nullptr;
        hr = locator->ConnectServer(name, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
        SysFreeString(name);
        if (services) services->Release();
        locator->Release();
        return hr;
    }

    // One property of every row a query returns, as text: strings as they are,
    // numbers in decimal, arrays as "[a,b]", NULL as "null".
    static std::vector<std::string> Query(const std::u16string& ns, const std::u16string& wql,
                                          const std::u16string& property) {
        std::vector<std::string> rows;
        IWbemLocator* locator = nullptr;
        if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                    reinterpret_cast<void**>(&locator))))
            return {"no locator"};
        BSTR name = SysAllocString(reinterpret_cast<const OLECHAR*>(ns.c_str()));
        BSTR language = SysAllocString(reinterpret_cast<const OLECHAR*>(u"WQL"));
        BSTR query = SysAllocString(reinterpret_cast<const OLECHAR*>(wql.c_str()));
        IWbemServices* services = nullptr;
        IEnumWbemClassObject* enumerator = nullptr;
        HRESULT hr = locator->ConnectServer(name, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
        if (SUCCEEDED(hr))
            hr = services->ExecQuery(language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                     nullptr, &enumerator);
        if (FAILED(hr)) rows.push_back("error " + std::to_string(static_cast<unsigned>(hr)));
        while (enumerator) {
            IWbemClassObject* object = nullptr;
            ULONG returned = 0;
            if (enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, &object, &returned) !=
                    WBEM_S_NO_ERROR ||
                returned != 1)
                break;
            VARIANT value;
            VariantInit(&value);
            object->Get(reinterpret_cast<LPCWSTR>(property.c_str()), 0, &value, nullptr, nullptr);
            rows.push_back(Text(value));
            VariantClear(&value);
            object->Release();
        }
        if (enumerator) enumerator->Release();
        if (services) services->Release();
        locator->Release();
        SysFreeString(name);
        SysFreeString(language);
        SysFreeString(query);
        return rows;
    }

    static std::string Text(const VARIANT& value) {
        switch (value.vt) {
            case VT_NULL:
                return "null";
            case VT_BSTR:
                return test::Utf8(WString(value.bstrVal, SysStringLen(value.bstrVal)));
            case VT_BOOL:
                return value.boolVal ? "true" : "false";
            case VT_UI1:
                return std::to_string(value.bVal);
            case VT_I2:
                return std::to_string(value.iVal);
            case VT_I4:
                return std::to_string(value.lVal);
            case VT_ARRAY | VT_I4:
            case VT_ARRAY | VT_BSTR: {
                LONG low = 0;
                LONG high = -1;
                SafeArrayGetLBound(value.parray, 1, &low);
                SafeArrayGetUBound(value.parray, 1, &high);
                std::string out = "[";
                for (LONG i = low; i <= high; ++i) {
                    if (i != low) out += ",";
                    VARIANT element;
                    VariantInit(&element);
                    element.vt = static_cast<VARTYPE>(value.vt & ~VT_ARRAY);
                    SafeArrayGetElement(value.parray, &i,
                                        element.vt == VT_BSTR ? static_cast<void*>(&element.bstrVal)
                                                              : static_cast<void*>(&element.lVal));
                    out += Text(element);
                    VariantClear(&element);
                }
                return out + "]";
            }
            default:
                return "vt " + std::to_string(value.vt);
        }
    }

    fs::path root_;

private:
    // COM for the WMI queries, as the library's callers initialise it.
    struct Com {
        Com() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
        ~Com() { CoUninitialize(); }
    } com_;
};

// A registry value read through the Win32 API; `access` picks the view.
struct RegRead {
    LSTATUS status = ERROR_SUCCESS;
    DWORD type = 0;
    std::vector<BYTE> data;
};

RegRead ReadValue(const WCHAR* path, const WCHAR* name, DWORD access = 0) {
    RegRead read;
    HKEY key = nullptr;
    read.status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | access, &key);
    if (read.status != ERROR_SUCCESS) return read;
    DWORD size = 0;
    read.status = RegQueryValueExW(key, name, nullptr, &read.type, nullptr, &size);
    read.data.resize(size);
    if (read.status == ERROR_SUCCESS)
        read.status = RegQueryValueExW(key, name, nullptr, &read.type, read.data.data(), &size);
    RegCloseKey(key);
    return read;
}

std::string Sz(const RegRead& read) {
    if (read.status != ERROR_SUCCESS) return "error " + std::to_string(read.status);
    WString text(reinterpret_cast<const WCHAR*>(read.data.data()), read.data.size() / sizeof(WCHAR));
    while (!text.empty() && text.back() == 0) text.pop_back();
    return test::Utf8(text);
}

std::optional<std::uint64_t> LastWrite(HKEY root, const WCHAR* path, DWORD access = KEY_WOW64_64KEY) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ | access, &key) != ERROR_SUCCESS) return std::nullopt;
    FILETIME time{};
    LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, &time);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return Ticks(time);
}

// ---------------------------------------------------------------------------------

TEST_F(MachineDirTest, LoadedMachineIsWhatTheApiReports) {
    fs::path dir = NewDir("full");
    Write(dir, "machine.json", R"({
  "os": {"major": 6, "minor": 1, "build": 7601, "servicePackMajor": 1, "productType": 3,
         "suiteMask": 272, "productInfo": 7, "csdVersion": "Service Pack 1"},
  "architecture": {"native": "x64", "process": "x86"},
  "systemMetrics": {"SM_SERVERR2": 1, "89": 3},
  "ansiCodePage": 1250,
  "computerNames": {"dnsHostname": "srv01-long-host-name", "dnsDomain": "corp.example"},
  "clock": "2024-01-31T12:00:00Z",
  "tickCount": 86400000,
  "timeZoneBias": -60,
  "power": {"acLineStatus": 0, "batteryFlag": 8, "batteryLifePercent": 42, "batteryLifeTime": 5400},
  "missingExports": {"kernel32": ["GetTickCount64"], "Advapi32.dll": []},
  "windowsDirectory": "D:\\WINNT"
})");
    // Saved by the Registry Editor: UTF-16LE with a byte-order mark, CRLF.
    Write(
        dir, "registry/10-software.reg",
        Utf16File(std::string(kHeader) +
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Vendor\\Agent]\r\n"
                  ";@LastWrite=2023-11-02T08:15:00Z\r\n"
                  "\"Path\"=\"C:\\\\Program Files (x86)\\\\Vendor\\\\Agent\"\r\n"
                  "\"Count\"=dword:0000002a\r\n\r\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor64]\r\n"
                  "\"Bits\"=\"64\"\r\n\r\n"
                  "[HKEY_USERS\\S-1-5-21-1-2-3-1001\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
                  "Settings]\r\n"
                  "\"ProxyServer\"=\"proxy.example:8080\"\r\n"));
    Write(dir, "wmi/root/cimv2/Win32_Battery.json", R"({
  "properties": [{"name": "DeviceID", "type": "string", "key": true}, {"name": "EstimatedChargeRemaining", "type": "uint16"},
                 {"name": "PowerManagementCapabilities", "type": "uint16[]"}, {"name": "Status", "type": "string"}],
  "instances": [{"DeviceID": "1", "EstimatedChargeRemaining": 42, "PowerManagementCapabilities": [1]}]
})");
    Write(dir, "wmi/root/cimv2/Security/MicrosoftTpm/Win32_Tpm.json", R"({
  "properties": [{"name": "IsEnabled_InitialValue", "type": "boolean"}, {"name": "SpecVersion", "type": "string"}],
  "instances": [{"IsEnabled_InitialValue": true, "SpecVersion": "2.0, 0, 1.59"}]
})");
    Write(dir, "drive_c/Program Files (x86)/Vendor/Agent/agent.ini", "[agent]\n");

    ASSERT_EQ(sim::LoadMachineDirectory(dir), std::nullopt);

    // Registry: the 32-bit process sees WOW6432Node as its SOFTWARE; the 64-bit view
    // sees the key as exported.
    struct ValueCase {
        const WCHAR* path;
        const WCHAR* name;
        DWORD access;
        std::string expected;
    };
    const std::vector<ValueCase> values = {
        {W("SOFTWARE\\Vendor\\Agent"), W("Path"), 0, "C:\\Program Files (x86)\\Vendor\\Agent"},
        {W("SOFTWARE\\WOW6432Node\\Vendor\\Agent"), W("Path"), KEY_WOW64_64KEY,
         "C:\\Program Files (x86)\\Vendor\\Agent"},
        {W("SOFTWARE\\Vendor64"), W("Bits"), KEY_WOW64_64KEY, "64"},
        {W("SOFTWARE\\Vendor64"), W("Bits"), 0, "error 2"},
        {W("SOFTWARE\\Vendor\\Agent"), W("Path"), KEY_WOW64_64KEY, "error 2"},
    };
    for (const auto& c : values)
        EXPECT_EQ(Sz(ReadValue(c.path, c.name, c.access)), c.expected) << test::Utf8(c.path);
    RegRead count = ReadValue(W("SOFTWARE\\Vendor\\Agent"), W("Count"));
    ASSERT_EQ(count.status, ERROR_SUCCESS);
    EXPECT_EQ(count.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(count.data, (std::vector<BYTE>{0x2a, 0, 0, 0}));
    EXPECT_TRUE(
        reg::KeyExists(u"HKEY_USERS\\S-1-5-21-1-2-3-1001\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                       u"Internet Settings"));

    // Last-write times: as recorded, else the machine's clock, parents included.
    struct TimeCase {
        const WCHAR* path;
        std::uint64_t expected;
    };
    const std::vector<TimeCase> times = {
        {W("SOFTWARE\\WOW6432Node\\Vendor\\Agent"), kNov2},
        {W("SOFTWARE\\WOW6432Node\\Vendor"), kJan31Noon},
        {W("SOFTWARE\\Vendor64"), kJan31Noon},
        {W("SOFTWARE"), kJan31Noon},
        {W("SYSTEM"), kJan31Noon},
    };
    for (const auto& c : times)
        EXPECT_EQ(LastWrite(HKEY_LOCAL_MACHINE, c.path), c.expected) << test::Utf8(c.path);

    // Facts.
    EXPECT_EQ(GetACP(), 1250u);
    SYSTEM_POWER_STATUS power{};
    ASSERT_TRUE(GetSystemPowerStatus(&power));
    EXPECT_EQ(power.ACLineStatus, 0);
    EXPECT_EQ(power.BatteryFlag, 8);
    EXPECT_EQ(power.BatteryLifePercent, 42);
    EXPECT_EQ(power.BatteryLifeTime, 5400u);
    EXPECT_EQ(power.BatteryFullLifeTime, 0xFFFFFFFFu) << "left out: the default";
    SYSTEMTIME now{};
    GetSystemTime(&now);
    EXPECT_EQ(now.wYear, 2024);
    EXPECT_EQ(now.wMonth, 1);
    EXPECT_EQ(now.wDay, 31);
    EXPECT_EQ(now.wHour, 12);
    EXPECT_GE(GetTickCount64(), 86400000u);
    HMODULE kernel32 = GetModuleHandleW(W("kernel32.dll"));
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(kernel32, "GetTickCount64"), nullptr) << "an export the machine lacks";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_NE(GetProcAddress(kernel32, "GetTickCount"), nullptr);
    TIME_ZONE_INFORMATION zone{};
    GetTimeZoneInformation(&zone);
    EXPECT_EQ(zone.Bias, -60);
    const sim::Facts& facts = sim::MachineFacts();
    EXPECT_TRUE(facts.native64);
    EXPECT_FALSE(facts.process64);
    EXPECT_EQ(facts.os.major, 6u);
    EXPECT_EQ(facts.os.build, 7601u);
    EXPECT_EQ(facts.os.servicePackMajor, 1);
    EXPECT_EQ(facts.os.servicePackMinor, 0) << "left out: the default";
    EXPECT_EQ(facts.os.productType, 3);
    EXPECT_EQ(facts.os.productInfo, 7u);
    EXPECT_EQ(facts.os.csdVersion, u"Service Pack 1");
    EXPECT_EQ(facts.os.systemMetrics, (std::map<int, int>{{89, 3}}));
    WCHAR folder[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryW(folder, MAX_PATH), 8u);
    EXPECT_EQ(test::Utf8(folder), "D:\\WINNT");
    DWORD size = MAX_PATH;
    ASSERT_TRUE(GetComputerNameExW(ComputerNameDnsFullyQualified, folder, &size));
    EXPECT_EQ(test::Utf8(folder), "srv01-long-host-name.corp.example");
    // Names left out follow from those given, as Windows derives them.
    EXPECT_EQ(facts.os.computerNames.netbios, u"SRV01-LONG-HOST");
    EXPECT_EQ(facts.os.computerNames.dnsFullyQualified, u"srv01-long-host-name.corp.example");
    EXPECT_EQ(facts.os.computerNames.physicalDnsFullyQualified, u"srv01-long-host-name.corp.example");
    EXPECT_EQ(facts.os.computerNames.physicalNetbios, u"SRV01-LONG-HOST");

    // WMI, both namespaces from their folders.
    EXPECT_EQ(Query(u"ROOT\\CIMV2", u"SELECT * FROM Win32_Battery", u"EstimatedChargeRemaining"),
              std::vector<std::string>{"42"});
    EXPECT_EQ(Query(u"ROOT\\CIMV2", u"SELECT * FROM Win32_Battery", u"PowerManagementCapabilities"),
              std::vector<std::string>{"[1]"});
    EXPECT_EQ(Query(u"ROOT\\CIMV2", u"SELECT * FROM Win32_Battery", u"Status"),
              std::vector<std::string>{"null"});
    EXPECT_EQ(Query(u"root\\cimv2\\security\\microsofttpm", u"SELECT * FROM Win32_Tpm", u"SpecVersion"),
              std::vector<std::string>{"2.0, 0, 1.59"});

    // Drive C:.
    ASSERT_TRUE(sim::DriveFolder('C'));
    EXPECT_TRUE(fs::exists(*sim::DriveFolder('C') / "Program Files (x86)/Vendor/Agent/agent.ini"));
    EXPECT_TRUE(sim::DriveFolder('C')->is_absolute());
}

TEST_F(MachineDirTest, MachineWithoutFactsOrDriveKeepsTheDefaults) {
    fs::path dir = NewDir("registry-only");
    Write(dir, "registry/a.reg",
          std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n\"A\"=\"1\"\r\n");
    ASSERT_EQ(sim::LoadMachineDirectory(dir), std::nullopt);
    EXPECT_FALSE(sim::DriveFolder('C'));
    EXPECT_EQ(GetACP(), 1252u);
    EXPECT_EQ(sim::MachineFacts().clock, 0u);
    EXPECT_EQ(Sz(ReadValue(W("SOFTWARE\\Vendor"), W("A"), KEY_WOW64_64KEY)), "1");
    // Without a clock, keys are written at the host's time: not frozen in the past.
    EXPECT_GT(*LastWrite(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor")), kJan31Noon);
}

TEST_F(MachineDirTest, ExportRootsLandOnTheKeysTheyStandFor) {
    struct Case {
        std::string exported;
        std::u16string stored;
    };
    const std::vector<Case> cases = {
        {"HKEY_CURRENT_USER\\Software\\Vendor", u"HKEY_USERS\\S-1-5-18\\Software\\Vendor"},
        {"hkey_classes_root\\.vendor", u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.vendor"},
        {"HKEY_CURRENT_CONFIG\\Software\\Fonts",
         u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts"},
        {"HKEY_USERS\\.DEFAULT\\Control Panel", u"HKEY_USERS\\.DEFAULT\\Control Panel"},
    };
    for (const auto& c : cases) {
        fs::path dir = NewDir("root-" + std::to_string(&c - cases.data()));
        Write(dir, "registry/a.reg", std::string(kHeader) + "[" + c.exported + "]\r\n\"V\"=\"1\"\r\n");
        ASSERT_EQ(sim::LoadMachineDirectory(dir), std::nullopt) << c.exported;
        auto value = reg::GetValue(c.stored, u"V");
        EXPECT_TRUE(value && value->type == REG_SZ) << c.exported;
    }
}

TEST_F(MachineDirTest, MalformedFilesAreReportedAndLeaveAnEmptyMachine) {
    const std::string good =
        std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n\"A\"=\"1\"\r\n";
    const std::string wmiClass =
        R"({"properties": [{"name": "Name", "type": "string"}], "instances": [{"Name": "x"}]})";
    struct Case {
        std::string name;
        std::map<std::string, std::string> files;  // path below the directory -> content
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"unterminated string",
         {{"registry/20-bad.reg",
           std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"Path\"=\"C:\\\\x\r\n"}},
         "registry/20-bad.reg: line 4: unterminated string"},
        {"bad dword in UTF-16",
         {{"registry/20-bad.reg",
           Utf16File(std::string(kHeader) +
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"A\"=\"1\"\r\n\"N\"=dword:\r\n")}},
         "registry/20-bad.reg: line 5: dword value needs 1 to 8 hex digits"},
        {"no header",
         {{"registry/20-bad.reg", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n"}},
         "registry/20-bad.reg: line 1: missing header 'Windows Registry Editor Version 5.00'"},
        {"unknown fact",
         {{"machine.json", R"({"os": {"majr": 6}})"}},
         "machine.json: /os/majr: unknown member"},
        {"fact out of range",
         {{"machine.json", R"({"os": {"productType": 4}})"}},
         "machine.json: /os/productType: out of range: expected an integer from 1 to 3, got the number 4"},
        {"JSON syntax",
         {{"machine.json", "{\n  \"ansiCodePage\": 1252,\n}\n"}},
         "machine.json: line 3, column 1: syntax error while parsing object key - unexpected '}'; expected "
         "string "
         "literal"},
        {"WMI value of the wrong type",
         {{"wmi/root/cimv2/Win32_OperatingSystem.json",
           R"({"properties": [{"name": "BuildNumber", "type": "string"}], "instances": [{"BuildNumber": 7601}]})"}},
         "wmi/root/cimv2/Win32_OperatingSystem.json: /instances/0/BuildNumber: expected a string, got the "
         "number "
         "7601"},
        {"WMI class file outside root",
         {{"wmi/cimv2/Win32_A.json", wmiClass}},
         "wmi/cimv2/Win32_A.json: a WMI class file must be wmi/<namespace>/<Class>.json, with the namespace "
         "starting at root"},
        {"WMI namespace folder outside root",
         {{"wmi/cimv2/.keep", ""}},
         "wmi/cimv2: a namespace folder must be below wmi/root"},
        {"one class in two files",
         {{"wmi/root/cimv2/Win32_A.json", wmiClass}, {"wmi/root/CIMV2/WIN32_A.json", wmiClass}},
         "wmi/root/cimv2/Win32_A.json: the class is already given by wmi/root/CIMV2/WIN32_A.json"},
        {"registry is a file", {{"registry", "x"}}, "registry: not a folder"},
    };
    for (const auto& c : cases) {
        fs::path dir = NewDir("bad-" + std::to_string(&c - cases.data()));
        Write(dir, "registry/10-good.reg", good);
        Write(dir, "drive_c/file.txt", "x");
        Write(dir, "wmi/root/cimv2/Win32_Good.json", wmiClass);
        if (c.files.count("registry")) fs::remove_all(dir / "registry");
        for (const auto& [path, content] : c.files) Write(dir, path, content);

        auto error = sim::LoadMachineDirectory(dir);
        ASSERT_TRUE(error) << c.name;
        EXPECT_EQ(*error, c.expected) << c.name;
        ExpectEmptyMachine(c.name);
    }
}

TEST_F(MachineDirTest, UnreadableOrMissingPlacesAreReported) {
    fs::path missing = root_ / "no-such-machine";
    EXPECT_EQ(sim::LoadMachineDirectory(missing), missing.string() + ": no such folder");
    ExpectEmptyMachine("missing directory");

    // Only regular files are read, and only up to the size limit: a FIFO would block
    // the loader, a device would feed it without end.
    struct Case {
        std::string file;
        std::function<void(const fs::path&)> make;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"registry/a.reg", [](const fs::path& p) { fs::create_symlink(p.parent_path() / "nowhere.reg", p); },
         "No such file or directory"},
        {"registry/a.reg", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         "it is a FIFO, not a regular file"},
        {"machine.json", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         "it is a FIFO, not a regular file"},
        {"machine.json", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
         "it is a character device, not a regular file"},
        {"wmi/root/cimv2/Win32_Huge.json",
         [](const fs::path& p) {
             std::ofstream(p) << "{";
             fs::resize_file(p, (std::uintmax_t{256} << 20) + 1);  // sparse: no disk space used
         },
         "larger than 256 MiB"},
    };
    fs::path dir;
    for (const auto& c : cases) {
        dir = NewDir("unreadable-" + std::to_string(&c - cases.data()));
        Write(dir, "drive_c/file.txt", "x");
        fs::create_directories((dir / c.file).parent_path());
        c.make(dir / c.file);
        EXPECT_EQ(sim::LoadMachineDirectory(dir), c.file + ": cannot read the file: " + c.reason);
        ExpectEmptyMachine(c.file + ", " + c.reason);
    }

    // A failure replaces a machine loaded before.
    fs::path good = NewDir("good");
    Write(good, "registry/a.reg", std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n");
    Write(good, "drive_c/file.txt", "x");
    ASSERT_EQ(sim::LoadMachineDirectory(good), std::nullopt);
    ASSERT_TRUE(reg::KeyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor"));
    EXPECT_TRUE(sim::LoadMachineDirectory(dir));
    ExpectEmptyMachine("after a good machine");
}

TEST_F(MachineDirTest, RegistryFilesApplyInByteOrderOfTheirNames) {
    const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n";
    const std::string make = std::string(kHeader) + key + "\"V\"=\"made\"\r\n";
    const std::string remove = std::string(kHeader) + "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n";
    struct Case {
        std::string name;
        std::vector<std::pair<std::string, std::string>> files;
        std::string expected;  // the value V, or "absent" when the key is gone, "-" when the value is
    };
    const std::vector<Case> cases = {
        {"10 sorts before 2", {{"10-make.reg", make}, {"2-delete.reg", remove}}, "absent"},
        {"2 sorts after 10", {{"10-delete.reg", remove}, {"2-make.reg", make}}, "made"},
        {"capitals sort before small letters", {{"a-make.reg", make}, {"B-delete.reg", remove}}, "made"},
        {"a later value wins",
         {{"a.reg", make}, {"b.reg", std::string(kHeader) + key + "\"V\"=\"later\"\r\n"}},
         "later"},
        {"a later file deletes a value",
         {{"a.reg", make}, {"b.reg", std::string(kHeader) + key + "\"V\"=-\r\n"}},
         "-"},
        {"the extension is compared without case", {{"a.reg", make}, {"b.REG", remove}}, "absent"},
        {"other files are not registry files", {{"a.reg", make}, {"b.reg.txt", remove}}, "made"},
    };
    for (const auto& c : cases) {
        fs::path dir = NewDir("order-" + std::to_string(&c - cases.data()));
        for (const auto& [name, content] : c.files) Write(dir, "registry/" + name, content);
        ASSERT_EQ(sim::LoadMachineDirectory(dir), std::nullopt) << c.name;
        std::string actual = "absent";
        if (reg::KeyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor")) {
            auto value = reg::GetValue(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor", u"V");
            actual = value ? Sz(RegRead{ERROR_SUCCESS, value->type, value->data}) : "-";
        }
        EXPECT_EQ(actual, c.expected) << c.name;
    }
}

TEST_F(MachineDirTest, RecordedLastWriteTimesSurviveLaterSections) {
    fs::path dir = NewDir("times");
    Write(dir, "machine.json", R"({"clock": "2024-01-31T12:00:00Z"})");
    Write(dir, "registry/a.reg",
          std::string(kHeader) +
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n;@LastWrite=2023-11-02T08:15:00Z\r\n\"A\"="
              "\"1\"\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Child]\r\n\"B\"=\"2\"\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n;@LastWrite=2023-11-02T08:15:00Z\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Again]\r\n;@LastWrite=2023-11-02T08:15:00Z\r\n");
    Write(dir, "registry/b.reg",
          std::string(kHeader) +
              "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone\\Sub]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Again]\r\n\"C\"=\"3\"\r\n");
    ASSERT_EQ(sim::LoadMachineDirectory(dir), std::nullopt);
    struct Case {
        const WCHAR* path;
        std::uint64_t expected;
    };
    const std::vector<Case> cases = {
        {W("SOFTWARE\\Vendor"), kNov2},  // its subkey's section came later
        {W("SOFTWARE\\Vendor\\Child"), kJan31Noon},
        {W("SOFTWARE\\Gone"), kJan31Noon},   // deleted and made again: the old record is gone
        {W("SOFTWARE\\Again"), kJan31Noon},  // its latest section records no time
    };
    for (const auto& c : cases)
        EXPECT_EQ(LastWrite(HKEY_LOCAL_MACHINE, c.path), c.expected) << test::Utf8(c.path);

    // The machine's programs write at the machine's time, not the host's.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor\\Later"), 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(LastWrite(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor\\Later")), kJan31Noon);
    EXPECT_EQ(LastWrite(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor")), kJan31Noon);  // was kNov2
}

TEST_F(MachineDirTest, SampleMachinesLoad) {
    struct Case {
        std::string machine;
        BYTE acLineStatus;
        std::u16string chassis;
        std::string batteries;
        bool tpm;
    };
    const std::vector<Case> cases = {
        {"win11-workstation", 0, u"[10]", "1", true},
        {"server2003r2-x64", 1, u"[23]", "0", false},
        {"server2019", 1, u"[23]", "0", false},  // last: its Exchange keys are read below
    };
    for (const auto& c : cases) {
        fs::path dir = fs::path(HOSTLENS_SAMPLE_MACHINES) / c.machine;
        ASSERT_EQ(sim::LoadMachineDirectory(dir), std::nullopt) << c.machine;
        EXPECT_EQ(Sz(ReadValue(W("SOFTWARE\\Orvix Security\\SetupEx\\Nuvex Agent"), W("Path"))),
                  "C:\\Program Files (x86)\\Orvix Security\\Nuvex Agent")
            << c.machine;
        SYSTEM_POWER_STATUS power{};
        ASSERT_TRUE(GetSystemPowerStatus(&power));
        EXPECT_EQ(power.ACLineStatus, c.acLineStatus) << c.machine;
        EXPECT_EQ(Query(u"ROOT\\CIMV2", u"SELECT ChassisTypes FROM Win32_SystemEnclosure", u"ChassisTypes"),
                  std::vector<std::string>{test::Utf8(WString(c.chassis.begin(), c.chassis.end()))})
            << c.machine;
        EXPECT_EQ(std::to_string(Query(u"ROOT\\CIMV2", u"SELECT * FROM Win32_Battery", u"DeviceID").size()),
                  c.batteries)
            << c.machine;
        EXPECT_EQ(Connect(u"ROOT\\CIMV2\\Security\\MicrosoftTpm") == WBEM_S_NO_ERROR, c.tpm) << c.machine;
    }
    // The Exchange server's setup keys, in the 64-bit view as Exchange writes them.
    const std::vector<std::pair<const WCHAR*, std::uint32_t>> exchange = {{W("MsiProductMajor"), 15},
                                                                          {W("MsiProductMinor"), 2},
                                                                          {W("MsiBuildMajor"), 1118},
                                                                          {W("MsiBuildMinor"), 40}};
    for (const auto& [name, expected] : exchange) {
        RegRead read = ReadValue(W("SOFTWARE\\Microsoft\\ExchangeServer\\v15\\Setup"), name, KEY_WOW64_64KEY);
        ASSERT_EQ(read.status, ERROR_SUCCESS) << test::Utf8(name);
        EXPECT_EQ(read.type, static_cast<DWORD>(REG_DWORD));
        ASSERT_EQ(read.data.size(), 4u);
        EXPECT_EQ(read.data[0] | read.data[1] << 8 | read.data[2] << 16 | read.data[3] << 24, expected)
            << test::Utf8(name);
    }
}

// The build's copies of the sample machines carry the agent's logging library where
// the service library looks for it.
TEST_F(MachineDirTest, StagedSampleMachinesHoldTheLoggingLibrary) {
    for (const char* machine : {"win11-workstation", "server2019", "server2003r2-x64"}) {
        ASSERT_EQ(sim::LoadMachineDirectory(fs::path(HOSTLENS_STAGED_MACHINES) / machine), std::nullopt)
            << machine;
        HMODULE module =
            LoadLibraryExW(W("C:\\Program Files (x86)\\Orvix Security\\Nuvex Agent\\Utils\\Logbridge.dll"),
                           nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        ASSERT_NE(module, nullptr) << machine << ": error " << GetLastError();
        EXPECT_NE(GetProcAddress(module, "GetILogbridge"), nullptr) << machine;
        EXPECT_NE(GetProcAddress(module, "FreeILogbridge"), nullptr) << machine;
        FreeLibrary(module);
    }
}

// ---------------------------------------------------------------------------------
// HOSTLENS_MACHINE: a process that names a machine directory in its environment
// starts on that machine. The probe prints what it sees.

struct ProbeRun {
    std::string out;
    std::string err;
    int status = -1;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ProbeRun RunProbe(const fs::path& folder, const std::string& machine) {
    fs::path out = folder / "probe.out";
    fs::path err = folder / "probe.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> variables;
    for (char** variable = environ; *variable; ++variable)
        if (!std::string_view(*variable).starts_with("HOSTLENS_MACHINE=")) variables.emplace_back(*variable);
    variables.push_back("HOSTLENS_MACHINE=" + machine);
    std::vector<char*> envp;
    for (auto& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string program = HOSTLENS_MACHINEDIR_PROBE;
    char* argv[] = {program.data(), nullptr};
    ProbeRun run;
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    waitpid(pid, &run.status, 0);
    run.out = ReadAll(out);
    run.err = ReadAll(err);
    return run;
}

TEST_F(MachineDirTest, EnvironmentNamesTheMachineOfAProcess) {
    fs::path good = NewDir("env-good");
    Write(good, "machine.json", R"({"ansiCodePage": 1251})");
    Write(good, "registry/a.reg",
          std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n\"A\"=\"from the machine\"\r\n");
    fs::path bad = NewDir("env-bad");
    Write(bad, "machine.json", R"({"ansiCodePage": 1251})");
    Write(bad, "registry/a.reg",
          std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n\"A\"=\"x\r\n");
    struct Case {
        std::string machine;
        std::string out;
        std::string err;
    };
    const std::vector<Case> cases = {
        {good.string(), "1251 from the machine\n", ""},
        {bad.string(), "1252 -\n",
         "hostlens: HOSTLENS_MACHINE=\"" + bad.string() +
             "\" not loaded, the machine is empty: registry/a.reg: line 4: unterminated string\n"},
        {"", "1252 -\n", ""},  // set but empty: no machine directory
    };
    for (const auto& c : cases) {
        ProbeRun run = RunProbe(root_, c.machine);
        ASSERT_TRUE(WIFEXITED(run.status)) << c.machine;
        EXPECT_EQ(WEXITSTATUS(run.status), 0) << c.machine;
        EXPECT_EQ(run.out, c.out) << c.machine;
        EXPECT_EQ(run.err, c.err) << c.machine;
    }
}

}  // namespace
}  // namespace hostlens
