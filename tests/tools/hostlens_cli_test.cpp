// The command line as a person or a script uses it: the built program run as a child
// process, its exit status, what it writes to standard output and to standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

class HostlensCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        root_ = fs::temp_directory_path() /
                ("hostlens-cli-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
        fs::create_directories(root_ / "machine");
        std::ofstream(root_ / "file.txt") << "not a folder";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // Runs hostlens with `args`; the environment is this process's without any
    // HOSTLENS_ variable, plus `extra` ("NAME=value").
    Outcome Run(const std::vector<std::string>& args, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (std::string(*entry).rfind("HOSTLENS_", 0) != 0) environment.emplace_back(*entry);
        }
        environment.insert(environment.end(), extra.begin(), extra.end());
        std::vector<std::string> argument{HOSTLENS_CLI};
        argument.insert(argument.end(), args.begin(), args.end());

        auto pointers = [](std::vector<std::string>& texts) {
            std::vector<char*> list;
            for (std::string& text : texts) list.push_back(text.data());
            list.push_back(nullptr);
            return list;
        };
        std::vector<char*> argv = pointers(argument);
        std::vector<char*> envp = pointers(environment);
        fs::path out = root_ / "stdout";
        fs::path err = root_ / "stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t child = 0;
        Outcome outcome;
        int spawned = posix_spawn(&child, HOSTLENS_CLI, &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << HOSTLENS_CLI << ": " << spawned;
            return outcome;
        }
        int wait = 0;
        if (waitpid(child, &wait, 0) == child && WIFEXITED(wait)) outcome.status = WEXITSTATUS(wait);
        outcome.out = ReadFile(out);
        outcome.err = ReadFile(err);
        return outcome;
    }

    fs::path root_;
};

std::string Describe(const std::vector<std::string>& args) {
    std::string text = "hostlens";
    for (const std::string& arg : args) text += " '" + arg + "'";
    return text;
}

// The record that a service's member holds, by command.
const std::map<std::string, std::string> kRecordOf = {
    {"battery", "SYSTEM_POWER_STATUS"}, {"hardware", "HardwareInfo"},
    {"software", "SoftwareEntries"},    {"system", "BootTime"},
    {"proxy", "ProxySettings"},         {"ad", "ActiveDirectoryInfo"},
    {"exchange", "ExchangeInfo"},       {"location", "LocationInfo"},
};

std::set<std::string> Members(const json& object) {
    std::set<std::string> names;
    for (const auto& [name, value] : object.items()) names.insert(name);
    return names;
}

// A service's member: its result code, named as "error" when it is a failure, and its
// record unless the service is not built yet (ERROR_CALL_NOT_IMPLEMENTED).
void ExpectServiceMember(const std::string& command, const json& member) {
    SCOPED_TRACE(command + ": " + member.dump());
    ASSERT_TRUE(member.is_object());
    if (command == "os") {
        EXPECT_EQ(Members(member), std::set<std::string>{"OperatingSystemRecord"}) << "no result";
        return;
    }
    ASSERT_TRUE(member.contains("result"));
    if (command == "updates") {
        ASSERT_TRUE(member.at("result").is_boolean());
        std::set<std::string> expected{"operation", "result"};
        if (member.at("operation") == "get" && member.at("result") == true)
            expected.insert("NotificationLevel");
        EXPECT_EQ(Members(member), expected);
        return;
    }
    ASSERT_TRUE(member.at("result").is_number_unsigned());
    std::set<std::string> expected{"result"};
    if (member.at("result") != 0 && member.at("result") != 120) expected.insert("error");
    if (command == "wmi") {
        expected.insert({"namespace", "query"});
        if (member.at("result") != 120) expected.insert("rows");
    } else if (member.at("result") != 120) {
        expected.insert(kRecordOf.at(command));
    }
    EXPECT_EQ(Members(member), expected);
}

TEST_F(HostlensCliTest, InformationAndUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* out;  // contained in standard output
        const char* err;  // contained in standard error
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: hostlens", ""},
        {{"battery", "--help"}, 0, "battery", ""},
        {{"--version"}, 0, "hostlens " HOSTLENS_VERSION "\n", ""},
        {{}, 2, "", "command is required"},
        {{"--pretty"}, 2, "", "command is required"},
        {{"frobnicate"}, 2, "", "frobnicate"},
        {{"--frobnicate", "battery"}, 2, "", "--frobnicate"},
        {{"wmi"}, 2, "", "QUERY"},
        {{"updates"}, 2, "", "operation"},
        {{"updates", "reset"}, 2, "", "reset"},
        {{"updates", "set"}, 2, "", "N"},
        {{"updates", "set", "high"}, 2, "", "high"},
        {{"proxy", "--max-age", "-1"}, 2, "", "--max-age"},
        {{"proxy", "--max-age", "soon"}, 2, "", "--max-age"},
        {{"--trace", "verbose", "battery"}, 2, "", "--trace"},
        {{"--trace", "5,0xZZ", "battery"}, 2, "", "--trace"},
        {{"--machine"}, 2, "", "--machine"},
        {{"battery", "hardware"}, 2, "", "hardware"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.args));
        Outcome outcome = Run(c.args);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_NE(outcome.out.find(c.out), std::string::npos) << outcome.out;
        EXPECT_NE(outcome.err.find(c.err), std::string::npos) << outcome.err;
        if (c.status != 0) {
            EXPECT_EQ(outcome.out, "") << "nothing is printed on a usage error";
        }
    }
}

TEST_F(HostlensCliTest, AMachineThatCannotBeLoadedIsNamedAndNothingIsPrinted) {
    const std::string missing = (root_ / "no-such-machine").string();
    const std::string file = (root_ / "file.txt").string();
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> environment;
        std::string named;
    };
    const Case cases[] = {
        {{"--machine", missing, "battery"}, {}, missing},
        {{"--machine", file, "inventory"}, {}, file},
        {{"battery"}, {"HOSTLENS_MACHINE=" + missing}, missing},
        // --machine wins over the environment.
        {{"--machine", missing, "battery"}, {"HOSTLENS_MACHINE=" + (root_ / "machine").string()}, missing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.args));
        Outcome outcome = Run(c.args, c.environment);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.out, "");
        EXPECT_NE(outcome.err.find(c.named), std::string::npos) << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << "one message\n"
                                                                               << outcome.err;
    }
}

TEST_F(HostlensCliTest, CommandsPrintOneJsonObjectWithAMemberPerServiceCalled) {
    const std::string machine = (root_ / "machine").string();
    const std::string log = (root_ / "hostlens.log").string();
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> environment;
        std::set<std::string> members;
    };
    const Case cases[] = {
        {{"battery"}, {}, {"battery"}},
        {{"--pretty", "battery"}, {}, {"battery"}},
        {{"battery", "--pretty"}, {}, {"battery"}},
        {{"inventory"},
         {},
         {"os", "battery", "hardware", "software", "system", "proxy", "ad", "exchange", "location",
          "updates"}},
        {{"os"}, {}, {"os"}},
        {{"hardware"}, {}, {"hardware"}},
        {{"software"}, {}, {"software"}},
        {{"system"}, {}, {"system"}},
        {{"proxy", "--max-age", "3600"}, {}, {"proxy"}},
        {{"ad"}, {}, {"ad"}},
        {{"exchange"}, {}, {"exchange"}},
        {{"location"}, {}, {"location"}},
        {{"updates", "get"}, {}, {"updates"}},
        {{"wmi", "SELECT Name FROM Win32_Processor"}, {}, {"wmi"}},
        {{"--machine", machine, "battery"}, {}, {"battery"}},
        {{"battery"}, {"HOSTLENS_MACHINE=" + machine}, {"battery"}},
        {{"--trace", "5,0x3", "--log", log, "system"}, {}, {"system"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.args));
        Outcome outcome = Run(c.args, c.environment);
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        json output = json::parse(outcome.out, nullptr, false);
        ASSERT_FALSE(output.is_discarded()) << outcome.out;
        ASSERT_TRUE(output.is_object());
        EXPECT_EQ(Members(output), c.members);
        for (const auto& [command, member] : output.items()) ExpectServiceMember(command, member);
        // One object, on one line unless asked to indent.
        bool pretty = std::find(c.args.begin(), c.args.end(), "--pretty") != c.args.end();
        EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\n') > 1, pretty) << outcome.out;
    }
}

TEST_F(HostlensCliTest, UpdatesAndWmiShowWhatWasAskedAndNameWhatFailed) {
    // A machine whose WMI has the default namespace and nothing in it.
    const std::string machine = (root_ / "wmi-machine").string();
    fs::create_directories(root_ / "wmi-machine/wmi/root/cimv2");
    std::ofstream(root_ / "wmi-machine/wmi/root/cimv2/.keep");
    struct Case {
        std::vector<std::string> args;
        json expected;  // members that must be there with these values
    };
    const Case cases[] = {
        {{"updates", "detect"}, {{"operation", "detect"}}},
        {{"updates", "get"}, {{"operation", "get"}}},
        {{"updates", "set", "2"}, {{"operation", "set"}}},
        {{"wmi", "SELECT * FROM Win32_Battery"},
         {{"namespace", "ROOT\\CIMV2"}, {"query", "SELECT * FROM Win32_Battery"}}},
        {{"wmi", "--namespace", "ROOT\\CIMV2\\Security\\MicrosoftTpm", "SELECT * FROM Win32_Tpm"},
         {{"namespace", "ROOT\\CIMV2\\Security\\MicrosoftTpm"}, {"query", "SELECT * FROM Win32_Tpm"}}},
        {{"wmi", "SELECT * FROM Win32_UserAccount WHERE Name = 'J\xc3\xbcrgen'"},
         {{"query", "SELECT * FROM Win32_UserAccount WHERE Name = 'J\xc3\xbcrgen'"}}},
        {{"wmi", "--machine", machine, "SELEC * FROM Win32_BIOS"},
         {{"result", 0x80041017}, {"error", "WBEM_E_INVALID_QUERY (0x80041017)"}}},
        {{"wmi", "--machine", machine, "SELECT * FROM Win32_BIOS WHERE"},
         {{"error", "WBEM_E_INVALID_QUERY (0x80041017)"}}},
        {{"wmi", "--machine", machine, "SELECT * FROM Win32_NoSuchClass"},
         {{"error", "WBEM_E_INVALID_CLASS (0x80041010)"}}},
        {{"wmi", "--namespace", "ROOT\\Nowhere", "SELECT * FROM Win32_BIOS"},
         {{"error", "WBEM_E_INVALID_NAMESPACE (0x8004100E)"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.args));
        Outcome outcome = Run(c.args);
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        json output = json::parse(outcome.out, nullptr, false);
        ASSERT_FALSE(output.is_discarded()) << outcome.out;
        const std::string command = c.args.front();
        ASSERT_TRUE(output.contains(command)) << outcome.out;
        ExpectServiceMember(command, output.at(command));
        for (const auto& [name, value] : c.expected.items())
            EXPECT_EQ(output.at(command).at(name), value) << name;
    }
    // --trace writes the failure's trace points to standard error.
    Outcome traced = Run({"--trace", "2", "wmi", "--machine", machine, "SELECT * FROM Win32_NoSuchClass"});
    EXPECT_NE(traced.err.find("level=2 flag=1 arg1=0x80041010"), std::string::npos) << traced.err;
}

// As a new user tries it on the sample machines; the expected records were worked out
// from their class files and facts.
TEST_F(HostlensCliTest, SampleMachinesGiveTheExpectedHardwareAndStartTime) {
    for (const char* machine : {"win11-workstation", "server2019", "server2003r2-x64"}) {
        const json expected =
            json::parse(std::ifstream(fs::path(HOSTLENS_EXPECTED) / (machine + std::string(".json"))));
        for (const char* command : {"hardware", "system"}) {
            Outcome outcome =
                Run({"--machine", (fs::path(HOSTLENS_STAGED_MACHINES) / machine).string(), command});
            ASSERT_EQ(outcome.status, 0) << outcome.err;
            EXPECT_EQ(json::parse(outcome.out)[command], expected[command]) << machine << " " << command;
            // The servers have no TPM namespace: the manager says so to the agent's log.
            EXPECT_EQ(
                outcome.err.find(
                    "Error -2147217394: Connecting to wmi namespace ROOT\\CIMV2\\Security\\MicrosoftTpm") !=
                    std::string::npos,
                std::string(command) == "hardware" && std::string(machine) != "win11-workstation");
        }
    }
}

// The record of each sample machine, as the tables give it for the machine's facts:
// Windows 11 Pro 23H2 on x64 (the registry still names it Windows 10), and Windows
// Server 2019 Standard with the Desktop Experience.
TEST_F(HostlensCliTest, OsPrintsTheRecordOfEachSampleMachine) {
    const json windows11 = {{"VersionCode", 14},
                            {"EditionCode", 150},
                            {"Architecture", 2},
                            {"IsWindows", 1},
                            {"IsServer", false},
                            {"IsPersonal", false},
                            {"IsStarter", false},
                            {"IsMediaCenter", false},
                            {"IsTabletPC", false},
                            {"IsServerCore", false},
                            {"ServicePackMajor", 0},
                            {"ReleaseId", 0},
                            {"DisplayVersion", "23H2"},
                            {"ProductName", "Windows 11 Pro"},
                            {"FullName", "Windows 11 Pro 64 bits Version 23H2"}};
    json server2019 = windows11;
    server2019.update({{"VersionCode", 13},
                       {"EditionCode", 112},
                       {"IsServer", true},
                       {"ReleaseId", 1809},
                       {"DisplayVersion", ""},
                       {"ProductName", "Windows Server 2019 Standard"},
                       {"FullName", "Windows Server 2019 Standard 64 bits Version 1809"}});
    for (const auto& [machine, record] :
         {std::pair{"win11-workstation", windows11}, {"server2019", server2019}}) {
        SCOPED_TRACE(machine);
        Outcome outcome = Run({"--machine", std::string(HOSTLENS_SAMPLE_MACHINES) + "/" + machine, "os"});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(json::parse(outcome.out, nullptr, false),
                  (json{{"os", {{"OperatingSystemRecord", record}}}}));
    }
}

}  // namespace
