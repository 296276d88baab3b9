// The WMI manager as the agent uses it through GetIWmiMng: rows, connection reuse,
// reconnection, and every failure with its result and its messages.
#include <gtest/gtest.h>

#include <thread>

#include "support/agent_install.h"
#include "hostlens/Exports.h"
#include "support/machine_test.h"
#include "platform/posix/com/sim_wmi.h"
#include "support/test_logger.h"

namespace hostlens::test {
namespace {

using sim::cim::Array;
using sim::cim::Boolean;
using sim::cim::String;
using sim::cim::UInt16;
using sim::cim::UInt32;
using sim::cim::UInt64;
using sim::cim::UInt8;

const WCHAR kCimV2[] = W("ROOT\\CIMV2");

class WmiMngTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        WriteInstallPath(kAgentFolder);
        InstallTestLogger(DriveC());
        sim::DefineWmiClass(u"ROOT\\CIMV2", u"Win32_OperatingSystem",
                            {{u"Caption", String},
                             {u"BuildNumber", String},
                             {u"FreePhysicalMemory", UInt64},
                             {u"NumberOfUsers", UInt32},
                             {u"CSDVersion", String},
                             {u"Primary", Boolean}})
            .Instance({{u"Caption", u"Microsoft Windows 11 Pro"},
                       {u"BuildNumber", u"22631"},
                       {u"FreePhysicalMemory", std::uint64_t{18446744073709551615ull}},
                       {u"NumberOfUsers", std::uint64_t{2}},
                       {u"Primary", true}});
        sim::DefineWmiClass(u"ROOT\\CIMV2", u"Win32_SystemEnclosure",
                            {{u"Tag", String},
                             {u"ChassisTypes", static_cast<sim::CimType>(UInt16 | Array)},
                             {u"SecurityStatus", UInt8}})
            .Instance(
                {{u"Tag", u"System Enclosure 0"},
                 {u"ChassisTypes", sim::WmiArray{std::uint64_t{9}, std::uint64_t{10}, std::uint64_t{14}}},
                 {u"SecurityStatus", std::uint64_t{3}}});
        sim::DefineWmiClass(u"ROOT\\CIMV2", u"Win32_Processor", {{u"DeviceID", String}, {u"Name", String}})
            .Instance({{u"DeviceID", u"CPU0"}, {u"Name", u"Core i7"}})
            .Instance({{u"DeviceID", u"CPU1"}})
            .Instance({{u"DeviceID", u"CPU2"}, {u"Name", u"Core i7"}})
            .Instance({{u"DeviceID", u"CPU3"}, {u"Name", u"Core i7"}});
        sim::DefineWmiClass(u"ROOT\\CIMV2\\Security\\MicrosoftTpm", u"Win32_Tpm", {{u"SpecVersion", String}})
            .Instance({{u"SpecVersion", u"2.0, 0, 1.59"}});
        manager_ = GetIWmiMng();
        ASSERT_NE(manager_, nullptr);
        manager_->SetNamespace(kCimV2);
        TestLogger::Take();
    }
    void TearDown() override {
        FreeIWmiMng(&manager_);
        MachineTest::TearDown();
    }

    static WmiQuery MakeQuery(const WCHAR* text, std::initializer_list<const WCHAR*> names = {},
                              bool includeEmpty = false) {
        WmiQuery query;
        query.Query = text;
        query.IncludeEmpty = includeEmpty;
        int i = 0;
        for (const WCHAR* name : names) query.Properties[i++] = name;
        return query;
    }
    static std::vector<std::string> Messages() {
        std::vector<std::string> texts;
        for (const auto& message : TestLogger::Take())
            texts.push_back(std::to_string(message.level) + " " + message.text);
        return texts;
    }

    IWmiMng* manager_ = nullptr;
};

TEST_F(WmiMngTest, EveryPropertyThatHasAValue) {
    for (const WCHAR* star : {static_cast<const WCHAR*>(nullptr), W("*")}) {
        std::vector<WmiRow> rows;
        WmiQuery query = MakeQuery(W("SELECT * FROM Win32_OperatingSystem"), {star});
        ASSERT_EQ(manager_->Query(query, rows), 0u);
        ASSERT_EQ(rows.size(), 1u);
        std::vector<WString> names;
        for (const auto& [name, value] : rows[0]) names.push_back(name);
        // CSDVersion is null: left out. Ordered by UTF-16 code unit.
        EXPECT_EQ(names, (std::vector<WString>{W("BuildNumber"), W("Caption"), W("FreePhysicalMemory"),
                                               W("NumberOfUsers"), W("Primary")}));
    }
    std::vector<WmiRow> rows;
    WmiQuery query =
        MakeQuery(W("SELECT * FROM Win32_OperatingSystem"), {W("CSDVersion"), W("Caption")}, true);
    ASSERT_EQ(manager_->Query(query, rows), 0u);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at(W("CSDVersion")).Get().vt, VT_NULL) << "kept when empty values are asked for";
}

TEST_F(WmiMngTest, ValuesAreTypedAsWmiDeliversThemAndRepaired) {
    WmiQuery query = MakeQuery(W("SELECT * FROM Win32_OperatingSystem"),
                               {W("FreePhysicalMemory"), W("NumberOfUsers"), W("Primary")});
    std::vector<WmiRow> typed;
    ASSERT_EQ(manager_->Query(query, typed), 0u);
    const VARIANT& memory = typed[0].at(W("FreePhysicalMemory")).Get();
    ASSERT_EQ(memory.vt, VT_UI8) << "a 64-bit counter comes as text and is parsed";
    EXPECT_EQ(memory.ullVal, 9223372036854775807ull) << "parsed as the runtime does: it saturates";
    EXPECT_EQ(typed[0].at(W("NumberOfUsers")).Get().vt, VT_I4);
    EXPECT_EQ(typed[0].at(W("Primary")).Get().vt, VT_BOOL);

    std::vector<WmiRow> raw;
    ASSERT_EQ(manager_->QueryNamespace(kCimV2, query, raw), 0u);
    const VARIANT& text = raw[0].at(W("FreePhysicalMemory")).Get();
    ASSERT_EQ(text.vt, VT_BSTR) << "QueryNamespace leaves values as WMI delivered them";
    EXPECT_EQ(WString(text.bstrVal), W("18446744073709551615"));
}

TEST_F(WmiMngTest, TextRowsJoinArraysAndLeaveOutWhatHasNoText) {
    std::vector<WmiStringRow> rows;
    rows.push_back({{W("left"), W("from before")}});
    WmiQuery query = MakeQuery(W("SELECT * FROM Win32_SystemEnclosure"));
    ASSERT_EQ(manager_->QueryAsStrings(query, rows), 0u);
    ASSERT_EQ(rows.size(), 2u) << "text rows are appended, not replaced";
    EXPECT_EQ(rows[1].at(W("ChassisTypes")), W("9 | 10 | 14"));
    EXPECT_EQ(rows[1].at(W("Tag")), W("System Enclosure 0"));
    EXPECT_EQ(rows[1].count(W("SecurityStatus")), 0u) << "a uint8 has no text form";

    std::vector<WmiStringRow> named;
    ASSERT_EQ(
        manager_->QueryNamespaceAsStrings(kCimV2, MakeQuery(W("SELECT * FROM Win32_OperatingSystem")), named),
        0u);
    EXPECT_EQ(named[0].at(W("FreePhysicalMemory")), W("18446744073709551615"));
    EXPECT_EQ(named[0].at(W("Primary")), W("true"));
}

TEST_F(WmiMngTest, ObjectWithoutStoredPropertyEndsTheRows) {
    // CPU1 has no Name: the rows before it stay, the ones after it are dropped.
    std::vector<WmiRow> rows;
    EXPECT_EQ(manager_->Query(MakeQuery(W("SELECT * FROM Win32_Processor"), {W("Name")}), rows),
              static_cast<DWORD>(ERROR_NOT_FOUND));
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_EQ(manager_->Query(MakeQuery(W("SELECT * FROM Win32_Processor"), {W("NoSuchProperty")}), rows),
              static_cast<DWORD>(ERROR_NOT_FOUND));
    EXPECT_TRUE(rows.empty());
    EXPECT_TRUE(Messages().empty());
}

TEST_F(WmiMngTest, OutputIsUntouchedOnFailureAndEmptiedOnSuccess) {
    std::vector<WmiRow> rows(3);
    EXPECT_NE(manager_->Query(MakeQuery(W("SELECT * FROM")), rows), 0u);
    EXPECT_EQ(rows.size(), 3u);
    EXPECT_EQ(manager_->Query(MakeQuery(W("SELECT * FROM Win32_Tpm")), rows),
              static_cast<DWORD>(WBEM_E_INVALID_CLASS));
    EXPECT_EQ(rows.size(), 3u);
    ASSERT_EQ(manager_->Query(MakeQuery(W("SELECT * FROM Win32_OperatingSystem")), rows), 0u);
    EXPECT_EQ(rows.size(), 1u);
}

TEST_F(WmiMngTest, OneConnectionPerNamespace) {
    std::vector<WmiRow> rows;
    WmiQuery query = MakeQuery(W("SELECT * FROM Win32_OperatingSystem"));
    ASSERT_EQ(manager_->Query(query, rows), 0u);
    ASSERT_EQ(manager_->Query(query, rows), 0u);
    EXPECT_EQ(sim::CallCount("IWbemLocator::ConnectServer"), 1u);
    EXPECT_EQ(sim::CallCount("CoCreateInstance"), 1u);

    // Namespaces are compared exactly: another spelling is another connection.
    manager_->SetNamespace(W("root\\cimv2"));
    ASSERT_EQ(manager_->Query(query, rows), 0u);
    EXPECT_EQ(sim::CallCount("IWbemLocator::ConnectServer"), 2u);

    // A named namespace other than the open one: connected for the call, released after.
    manager_->SetNamespace(kCimV2);
    ASSERT_EQ(manager_->Query(query, rows), 0u);
    EXPECT_EQ(sim::CallCount("IWbemLocator::ConnectServer"), 3u);
    ASSERT_EQ(manager_->QueryNamespace(W("ROOT\\CIMV2\\Security\\MicrosoftTpm"),
                                       MakeQuery(W("SELECT * FROM Win32_Tpm")), rows),
              0u);
    EXPECT_EQ(sim::CallCount("IWbemLocator::ConnectServer"), 4u);
    ASSERT_EQ(manager_->Query(query, rows), 0u);
    EXPECT_EQ(sim::CallCount("IWbemLocator::ConnectServer"), 5u)
        << "the working namespace is connected again";
    // The open one named: kept.
    ASSERT_EQ(manager_->QueryNamespace(kCimV2, query, rows), 0u);
    ASSERT_EQ(manager_->Query(query, rows), 0u);
    EXPECT_EQ(sim::CallCount("IWbemLocator::ConnectServer"), 5u);
}

TEST_F(WmiMngTest, ShuttingDownServiceIsRetriedOnce) {
    std::vector<WmiRow> rows;
    WmiQuery query = MakeQuery(W("SELECT * FROM Win32_OperatingSystem"));
    sim::FailCall("IWbemServices::ExecQuery", 1, WBEM_E_SHUTTING_DOWN);
    EXPECT_EQ(manager_->Query(query, rows), 0u);
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_EQ(sim::CallCount("IWbemLocator::ConnectServer"), 2u);
    EXPECT_TRUE(Messages().empty());

    sim::FailCall("IWbemServices::ExecQuery", 1, WBEM_E_SHUTTING_DOWN);
    EXPECT_EQ(manager_->QueryNamespace(kCimV2, query, rows), 0u);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(WmiMngTest, FailuresGiveTheirResultAndMessages) {
    const WCHAR* osQuery = W("SELECT * FROM Win32_OperatingSystem");
    struct Case {
        const char* what;
        const char* failCall;  // null: no injected failure
        unsigned occurrence;
        std::uint32_t error;
        unsigned times;
        bool named;                 // QueryNamespace instead of Query
        const WCHAR* wmiNamespace;  // working or named namespace
        const WCHAR* queryText;
        DWORD result;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"empty working namespace", nullptr, 0, 0, 0, false, W(""), osQuery, ERROR_INVALID_STATE, {}},
        {"no query text", nullptr, 0, 0, 0, false, kCimV2, nullptr, ERROR_INVALID_PARAMETER, {}},
        {"empty named namespace", nullptr, 0, 0, 0, true, W(""), osQuery, ERROR_INVALID_PARAMETER, {}},
        {"COM cannot start",
         "CoInitializeEx",
         1,
         0x80004005,
         2,
         false,
         kCimV2,
         osQuery,
         0x8000FFFF,
         {"30 Error -2147418113: Creating wmi instance",
          "30 Error -2147418113: Connecting to wmi namespace ROOT\\CIMV2"}},
        {"no locator",
         "CoCreateInstance",
         1,
         0x80040154,
         1,
         false,
         kCimV2,
         osQuery,
         0x80040154,
         {"30 Cannot create Instance of CLSID_WbemLocator -2147221164",
          "30 Error -2147221164: Creating wmi instance",
          "30 Error -2147221164: Connecting to wmi namespace ROOT\\CIMV2"}},
        {"unknown namespace",
         nullptr,
         0,
         0,
         0,
         false,
         W("ROOT\\Nowhere"),
         osQuery,
         0x8004100E,
         {"30 Error -2147217394, cannot connect to namespace ROOT\\Nowhere",
          "30 Error -2147217394: Connecting to wmi namespace ROOT\\Nowhere"}},
        {"unknown named namespace",
         nullptr,
         0,
         0,
         0,
         true,
         W("ROOT\\Nowhere"),
         osQuery,
         0x8004100E,
         {"30 Error -2147217394, cannot connect to namespace ROOT\\Nowhere",
          "30 Error -2147217394: Connecting to wmi namespace ROOT\\Nowhere"}},
        {"exception while connecting",
         "SysAllocString",
         1,
         0,
         1,
         false,
         kCimV2,
         osQuery,
         5930,
         {"50 Exception connecting", "30 Error 5930, cannot connect to namespace ROOT\\CIMV2",
          "30 Error 5930: Connecting to wmi namespace ROOT\\CIMV2"}},
        {"proxy blanket refused",
         "CoSetProxyBlanket",
         1,
         0x80070005,
         1,
         false,
         kCimV2,
         osQuery,
         0x80070005,
         {"30 Error -2147024891, cannot set proxy blanket",
          "30 Error -2147024891: Connecting to wmi namespace ROOT\\CIMV2"}},
        {"invalid query",
         nullptr,
         0,
         0,
         0,
         false,
         kCimV2,
         W("SELECT FROM"),
         0x80041017,
         {"30 Error -2147217385: Executing WMI query"}},
        {"invalid query, named",
         nullptr,
         0,
         0,
         0,
         true,
         kCimV2,
         W("SELECT FROM"),
         0x80041017,
         {"30 Error -2147217385 executing WMI query"}},
        {"still shutting down after the retry",
         "IWbemServices::ExecQuery",
         1,
         0x80041033,
         2,
         false,
         kCimV2,
         osQuery,
         0x80041033,
         {"30 Error fatal -2147217357, ending all connections", "30 Error -2147217357: Executing WMI query"}},
        {"still shutting down, named",
         "IWbemServices::ExecQuery",
         1,
         0x80041033,
         2,
         true,
         kCimV2,
         osQuery,
         0x80041033,
         {"30 Error -2147217357 executing WMI query"}},
        {"reconnect fails after shutting down",
         "IWbemLocator::ConnectServer",
         2,
         0x80041003,
         1,
         false,
         kCimV2,
         osQuery,
         0x80041003,
         {"30 Error -2147217405, cannot connect to namespace ROOT\\CIMV2",
          "30 Error -2147217405: Executing WMI query"}},
        {"exception while executing",
         "IWbemServices::ExecQuery.Allocate",
         1,
         0,
         1,
         false,
         kCimV2,
         osQuery,
         4208,
         {"30 Exception: Executing query SELECT * FROM Win32_OperatingSystem",
          "30 Error 4208: Executing WMI query"}},
        {"exception while executing, named",
         "IWbemServices::ExecQuery.Allocate",
         1,
         0,
         1,
         true,
         kCimV2,
         osQuery,
         4208,
         {"30 Exception: Executing query SELECT * FROM Win32_OperatingSystem",
          "30 Error 4208 executing WMI query"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IWmiMng* manager = GetIWmiMng();
        ASSERT_NE(manager, nullptr);
        if (!c.named) manager->SetNamespace(c.wmiNamespace);
        if (c.failCall != nullptr) sim::FailCall(c.failCall, c.occurrence, c.error, c.times);
        if (std::string(c.what).find("reconnect") != std::string::npos)
            sim::FailCall("IWbemServices::ExecQuery", 1, WBEM_E_SHUTTING_DOWN);
        WmiQuery query = MakeQuery(c.queryText);
        std::vector<WmiRow> rows(2);
        DWORD result =
            c.named ? manager->QueryNamespace(c.wmiNamespace, query, rows) : manager->Query(query, rows);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(rows.size(), 2u) << "the caller's rows stay as they were";
        EXPECT_EQ(Messages(), c.messages);
        sim::ClearFaults();
        FreeIWmiMng(&manager);
    }
}

TEST_F(WmiMngTest, FailingNextKeepsTheRowsReadAndDropsTheConnection) {
    std::vector<WmiRow> rows;
    sim::FailCall("IEnumWbemClassObject::Next", 3, 0x80041001);
    EXPECT_EQ(manager_->Query(MakeQuery(W("SELECT * FROM Win32_Processor"), {W("DeviceID")}), rows),
              0x80041001u);
    EXPECT_EQ(rows.size(), 2u);
    EXPECT_EQ(Messages(), std::vector<std::string>{"30 Error -2147217407 finding next, results = 2"});
    // Services and locator were released: the next query makes both again.
    ASSERT_EQ(manager_->Query(MakeQuery(W("SELECT * FROM Win32_Processor"), {W("DeviceID")}), rows), 0u);
    EXPECT_EQ(rows.size(), 4u);
    EXPECT_EQ(sim::CallCount("CoCreateInstance"), 2u);
}

TEST_F(WmiMngTest, FailingGetNamesSkipsTheObjectAndEndsTheRows) {
    std::vector<WmiRow> rows;
    sim::FailCall("IWbemClassObject::GetNames", 2, 0x80041006);
    EXPECT_EQ(manager_->Query(MakeQuery(W("SELECT DeviceID FROM Win32_Processor")), rows), 0x80041006u);
    EXPECT_EQ(rows.size(), 1u);
}

TEST_F(WmiMngTest, ThreadInSingleThreadedApartmentLogsOnceThenWorks) {
    std::thread thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        IWmiMng* manager = GetIWmiMng();
        manager->SetNamespace(kCimV2);
        std::vector<WmiRow> rows;
        EXPECT_EQ(manager->Query(MakeQuery(W("SELECT * FROM Win32_OperatingSystem")), rows), 0u);
        EXPECT_EQ(manager->Query(MakeQuery(W("SELECT * FROM Win32_OperatingSystem")), rows), 0u);
        EXPECT_EQ(rows.size(), 1u);
        FreeIWmiMng(&manager);
        // The manager's own CoUninitialize is balanced: this thread's one is still owed.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    });
    thread.join();
    EXPECT_EQ(Messages(), std::vector<std::string>{"30 Error: RPC_E_CHANGED_MODE"});
}

// The emulated service's hooks for tests: a class (named without regard to case) whose
// every query fails, unless WMI rejects it first, and the log of the queries run.
TEST_F(WmiMngTest, ClassesCanBeMadeToFailAndQueriesAreLogged) {
    sim::FailQuery(u"win32_processor", WBEM_E_FAILED);
    sim::StartWmiQueryLog();
    const std::vector<std::pair<std::u16string, HRESULT>> cases = {
        {u"SELECT * FROM WIN32_PROCESSOR", WBEM_E_FAILED},
        {u"SELECT * FROM Win32_OperatingSystem", 0},
        {u"SELECT FROM Win32_Processor", WBEM_E_INVALID_QUERY}};
    std::vector<sim::WmiQueryRecord> expected;
    for (const auto& [wql, result] : cases) {
        std::vector<WmiRow> rows;
        EXPECT_EQ(manager_->Query(MakeQuery(reinterpret_cast<const WCHAR*>(wql.c_str())), rows),
                  DWORD(result));
        expected.push_back({u"ROOT\\CIMV2", wql, result});
    }
    EXPECT_EQ(sim::TakeWmiQueryLog(), expected);
}

TEST_F(WmiMngTest, ManagerWithoutLoggerOnlyTraces) {
    FreeIWmiMng(&manager_);
    DeleteInstallPath();
    manager_ = GetIWmiMng();
    manager_->SetNamespace(W("ROOT\\Nowhere"));
    std::vector<WmiRow> rows;
    EXPECT_EQ(manager_->Query(MakeQuery(W("SELECT * FROM Win32_OperatingSystem")), rows), 0x8004100Eu);
    EXPECT_TRUE(Messages().empty());
}

}  // namespace
}  // namespace hostlens::test
