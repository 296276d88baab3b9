// Each command calls one service as the agent does: Get the object, run the
// operation, Free the object. It answers the member that the output shows for it: the
// result and, when the service is built, the record under its type name.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/hostlens/records_json.h"
#include "tools/hostlens/service_library.h"

namespace hostlens::cli {

// The operating-system record that the services share. The library does not export
// it, so the command line computes it itself (linked in), on the same machine; the
// fill reports nothing, so the member holds the record alone.
Json OperatingSystem(const ServiceExports& exports);
Json Battery(const ServiceExports& exports);
Json Hardware(const ServiceExports& exports);
Json Software(const ServiceExports& exports);
Json System(const ServiceExports& exports);
Json Proxy(const ServiceExports& exports, DWORD maxAgeSeconds);
Json ActiveDirectory(const ServiceExports& exports);
Json Exchange(const ServiceExports& exports);
Json Location(const ServiceExports& exports);

enum class UpdatesOperation { Detect, Get, Set };
// `level` is used by Set only.
Json Updates(const ServiceExports& exports, UpdatesOperation operation, LONG level);

// The agent's own WQL: every property of each object, empty values included.
Json Wmi(const ServiceExports& exports, const std::string& wmiNamespace, const std::string& query);

// A command as the output names it.
struct NamedCommand {
    std::string name;
    std::function<Json(const ServiceExports&)> run;
};

// The operating-system record, then every service that reads the machine, in turn; it
// changes nothing, so Automatic Updates only reads the notification level.
std::vector<NamedCommand> Inventory();

}  // namespace hostlens::cli
