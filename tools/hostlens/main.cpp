// hostlens: the agent's stand-in. It loads HostlensService, calls the services the
// command names as the agent does and prints what they return as one JSON object.
//
// Exit status: 0 when the command ran, whatever the services returned; 1 when the
// library or the machine directory cannot be loaded; 2 for a usage error.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "platform/machine_directory.h"
#include "platform/process_environment.h"
#include "platform/program_arguments.h"
#include "tools/hostlens/commands.h"
#include "tools/hostlens/records_json.h"
#include "tools/hostlens/service_library.h"
#include "tools/hostlens/trace_setting.h"

namespace {

using namespace hostlens::cli;

enum ExitStatus : int { kRan = 0, kCannotLoad = 1, kUsage = 2 };

constexpr const char* kDefaultNamespace = "ROOT\\CIMV2";

struct Options {
    std::string machine;
    bool machineGiven = false;
    bool pretty = false;
    std::string logFile;
    std::string trace;
    DWORD maxAge = 0;
    LONG level = 0;
    std::string wmiNamespace = kDefaultNamespace;
    std::string query;
    // What the command line asked for, filled once it is parsed.
    std::vector<NamedCommand> commands;
};

// The environment that the library and the logging library read when they load.
bool PrepareEnvironment(const Options& options) {
    if (!options.logFile.empty() && !hostlens::SetProcessEnvironment("HOSTLENS_LOG_FILE", options.logFile)) {
        std::cerr << "hostlens: cannot set HOSTLENS_LOG_FILE\n";
        return false;
    }
    if (!options.trace.empty() &&
        !hostlens::SetProcessEnvironment("HOSTLENS_TRACE", TraceSetting(options.trace).value_or(""))) {
        std::cerr << "hostlens: cannot set HOSTLENS_TRACE\n";
        return false;
    }
    return true;
}

// The machine given with --machine, else HOSTLENS_MACHINE, else the platform's own (on
// Linux an empty simulated machine). The platform has loaded HOSTLENS_MACHINE's
// directory before main, and said why when it could not.
bool ChooseMachine(const Options& options) {
    if (!options.machineGiven) return hostlens::MachineFromEnvironmentLoaded();
    std::string error;
    if (hostlens::LoadMachineDirectory(options.machine, error)) return true;
    std::cerr << "hostlens: " << error << "\n";
    return false;
}

int Run(const Options& options) {
    if (!PrepareEnvironment(options) || !ChooseMachine(options)) return kCannotLoad;
    Json output = Json::object();
    {
        std::string error;
        auto library = ServiceLibrary::Load(error);
        if (library == nullptr) {
            std::cerr << "hostlens: " << error << "\n";
            return kCannotLoad;
        }
        for (const NamedCommand& command : options.commands)
            output[command.name] = command.run(library->Exports());
    }
    // Written whole, once every service has answered.
    std::cout << output.dump(options.pretty ? 2 : -1, ' ', false, Json::error_handler_t::replace)
              << std::endl;
    return kRan;
}

void AddServiceCommand(CLI::App& app, Options& options, const char* name, const char* description,
                       Json (*run)(const ServiceExports&)) {
    app.add_subcommand(name, description)->callback([&options, name, run] {
        options.commands = {{name, run}};
    });
}

void DefineCommandLine(CLI::App& app, Options& options) {
    app.set_version_flag("--version", std::string("hostlens ") + HOSTLENS_VERSION);
    // At most one command; a missing one is reported after parsing, so that an unknown
    // word is named as such rather than reported as a missing command.
    app.require_subcommand(0, 1);
    // Options of the whole program may also follow the command.
    app.fallthrough();
    app.footer(
        "Environment:\n"
        "  HOSTLENS_MACHINE   machine directory used when --machine is not given (Linux)\n"
        "Exit status: 0 when the command ran, whatever the services returned; 1 when the\n"
        "library or the machine directory cannot be loaded; 2 for a usage error.");

    app.add_option("--machine", options.machine, "Run against the simulated machine described by DIR (Linux)")
        ->type_name("DIR");
    app.add_flag("--pretty", options.pretty, "Indent the JSON output");
    app.add_option("--log", options.logFile, "Write the logging library's messages to FILE")
        ->type_name("FILE");
    app.add_option("--trace", options.trace,
                   "Enable the trace channel at LEVEL (1 critical ... 5 verbose) for FLAGS (default all)")
        ->type_name("LEVEL[,FLAGS]")
        ->check([](const std::string& text) {
            return TraceSetting(text) ? std::string() : "expected LEVEL[,FLAGS], such as 4 or 5,0x3";
        });

    app.add_subcommand("inventory",
                       "The operating system, then every service in turn (Automatic Updates: the level only)")
        ->callback([&options] { options.commands = Inventory(); });
    AddServiceCommand(app, options, "os", "Operating-system version, edition and architecture",
                      OperatingSystem);
    AddServiceCommand(app, options, "battery", "Power source and battery state", Battery);
    AddServiceCommand(app, options, "hardware", "Hardware inventory", Hardware);
    AddServiceCommand(app, options, "software", "Installed programs, patches and updates", Software);
    AddServiceCommand(app, options, "system", "Time of the last start", System);
    CLI::App* proxy = app.add_subcommand("proxy", "Proxy settings");
    proxy
        ->add_option("--max-age", options.maxAge,
                     "Use settings read at most S seconds ago (default 0: read now)")
        ->type_name("S");
    proxy->callback([&options] {
        options.commands = {{"proxy", [&options](auto& exports) { return Proxy(exports, options.maxAge); }}};
    });
    AddServiceCommand(app, options, "ad", "The machine's Active Directory identity", ActiveDirectory);
    AddServiceCommand(app, options, "exchange", "Exchange Server generation, services and mailboxes",
                      Exchange);
    AddServiceCommand(app, options, "location", "Coordinates and civic address", Location);

    CLI::App* updates = app.add_subcommand("updates", "Automatic Updates: detect, get or set N");
    auto updatesCommand = [&options](UpdatesOperation operation) {
        return [&options, operation] {
            options.commands = {{"updates", [&options, operation](auto& exports) {
                                     return Updates(exports, operation, options.level);
                                 }}};
        };
    };
    updates->add_subcommand("detect", "Start an update detection")
        ->callback(updatesCommand(UpdatesOperation::Detect));
    updates->add_subcommand("get", "Read the notification level")
        ->callback(updatesCommand(UpdatesOperation::Get));
    CLI::App* set = updates->add_subcommand("set", "Set the notification level to N");
    set->add_option("N", options.level, "Notification level")->required();
    set->callback(updatesCommand(UpdatesOperation::Set));

    CLI::App* wmi = app.add_subcommand("wmi", "Run a WQL query through the WMI manager");
    wmi->add_option("--namespace", options.wmiNamespace, "WMI namespace (default ROOT\\CIMV2)")
        ->type_name("NS");
    wmi->add_option("QUERY", options.query, "The WQL query")->required();
    wmi->callback([&options] {
        options.commands = {
            {"wmi", [&options](auto& exports) { return Wmi(exports, options.wmiNamespace, options.query); }}};
    });
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app{
        "Calls the inventory services of HostlensService as the agent does and prints what they "
        "return as one JSON object: one member per service called, with its result code and "
        "its record.",
        "hostlens"};
    DefineCommandLine(app, options);
    // In UTF-8 on every platform; CLI11 takes them without the program's name, last first.
    std::vector<std::string> arguments = hostlens::ProgramArguments(argc, argv);
    if (!arguments.empty()) arguments.erase(arguments.begin());
    std::reverse(arguments.begin(), arguments.end());
    try {
        app.parse(arguments);
        if (app.get_subcommand("updates")->parsed() && options.commands.empty())
            throw CLI::RequiredError("updates: an operation (detect, get or set N)");
        if (options.commands.empty()) throw CLI::RequiredError("A command");
    } catch (const CLI::ParseError& error) {
        int status = app.exit(error);
        return status == 0 ? kRan : kUsage;
    }
    options.machineGiven = app.count("--machine") > 0;

    try {
        return Run(options);
    } catch (const std::exception& error) {
        std::cerr << "hostlens: " << error.what() << "\n";
        return kCannotLoad;
    }
}
