#include "sweep.h"

#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <unistd.h>

#include "platform/posix/machine/sim_machinedir.h"
#include "platform_errors.h"

namespace hostlens::sweep {
namespace {

// The library's trace provider: enabled for every level and flag, so that the trace
// points on the failure paths run too.
constexpr GUID kControlGuid = {0x2DAFC98A, 0x3FB6, 0x4126, {0xB1, 0x3F, 0x63, 0x00, 0x81, 0x15, 0x49, 0x73}};

std::filesystem::path& SampleFolder() {
    static std::filesystem::path folder;
    return folder;
}

struct Copy {
    std::filesystem::path folder;
    std::shared_ptr<const sim::MachineImage> image;  // read once, put in place for every run
};

std::map<std::string, Copy>& Copies() {
    static std::map<std::string, Copy> copies;
    return copies;
}

// A private copy of the sample machine whose agent folder holds the test logger.
const Copy& MachineCopy(const std::string& machine) {
    auto it = Copies().find(machine);
    if (it != Copies().end()) return it->second;
    std::random_device random;
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("hostlens-sweep-" + std::to_string(::getpid()) + "-" + std::to_string(random()) + "-" + machine);
    std::filesystem::copy(SampleFolder() / machine, folder, std::filesystem::copy_options::recursive);
    test::TestLogger::Install(folder / "drive_c", "Program Files (x86)/Orvix Security/Nuvex Agent");
    std::string error;
    auto image = sim::ReadMachineDirectory(folder, error);
    return Copies().emplace(machine, Copy{folder, image}).first->second;
}

struct Fault {
    sim::RecordedCall call;
    std::uint32_t error = 0;
};

struct Outcome {
    std::uint32_t result = 0;
    std::optional<std::string> exception;
    std::vector<sim::RecordedCall> calls;
    unsigned injected = 0;
    std::vector<test::LoggedMessage> messages;
    std::optional<std::string> leaked;
};

Outcome RunOnce(const Entry& entry, const std::optional<Fault>& fault) {
    Outcome outcome;
    const Copy& copy = MachineCopy(entry.machine);
    std::optional<std::string> error = "cannot be read";
    if (copy.image) error = sim::ApplyMachineImage(*copy.image);
    if (error) {
        outcome.exception = "the sample machine does not load: " + *error;
        return outcome;
    }
    sim::EnableTraceProvider(kControlGuid, 5, 0xFFFFFFFF);
    const sim::OpenCounts before = sim::Open();
    {
        std::unique_ptr<Operation> operation = entry.make();
        operation->Prepare();
        test::TestLogger::Take();
        sim::MarkCalls();
        if (fault) sim::FailCall(fault->call.function, fault->call.occurrence, fault->error);
        try {
            outcome.result = operation->Run();
        } catch (const std::exception& e) {
            outcome.exception = std::string("exception: ") + e.what();
        } catch (...) {
            outcome.exception = "an exception of unknown type";
        }
        outcome.calls = sim::CallsSinceMark();
        outcome.injected = sim::FaultsInjectedSinceMark();
        sim::ClearFaults();
        outcome.messages = test::TestLogger::Take();
        operation->Finish();
    }
    const sim::OpenCounts after = sim::Open();
    if (after != before)
        outcome.leaked = "left open: " + sim::Describe(after) + " (before: " + sim::Describe(before) + ")";
    return outcome;
}

std::string Hex(std::uint32_t value) {
    return std::string(ErrorName(value));
}

std::string Describe(const std::optional<Fault>& fault) {
    if (!fault) return "without a failure";
    std::ostringstream out;
    out << fault->call.function << " #" << fault->call.occurrence << " failing with " << Hex(fault->error);
    return out.str();
}

bool ContainsInOrder(const std::vector<test::LoggedMessage>& seen,
                     const std::vector<test::LoggedMessage>& wanted) {
    std::size_t next = 0;
    for (const auto& message : seen)
        if (next < wanted.size() && message == wanted[next]) ++next;
    return next == wanted.size();
}

std::string Quote(const std::vector<test::LoggedMessage>& messages) {
    std::ostringstream out;
    for (const auto& message : messages) out << " {" << message.level << ", \"" << message.text << "\"}";
    return messages.empty() ? " (none)" : out.str();
}

void Check(const Entry& entry, const std::optional<Fault>& fault, const Outcome& outcome, Report& report,
           std::map<std::string, unsigned>& results) {
    const std::string where = entry.name + " on " + entry.machine + ", " + Describe(fault) + ": ";
    if (outcome.leaked) report.problems.push_back(where + *outcome.leaked);
    if (outcome.exception) {
        if (!entry.exceptionsReachCaller || outcome.exception->rfind("exception: ", 0) != 0)
            report.problems.push_back(where + *outcome.exception + " escaped");
        ++results["exception"];
        return;
    }
    if (fault && outcome.injected != 1)
        report.problems.push_back(where +
                                  "the call was not made again: the operation does not repeat itself");
    bool allowed = false;
    for (std::uint32_t code : entry.allowed)
        allowed = allowed || code == outcome.result ||
                  (code == kInjected && fault && fault->error == outcome.result);
    if (!allowed)
        report.problems.push_back(where + "result " + Hex(outcome.result) + " is not one the service gives");
    ++results[Hex(outcome.result)];
    if (fault && entry.messages) {
        auto wanted = entry.messages(fault->call, fault->error);
        if (!ContainsInOrder(outcome.messages, wanted))
            report.problems.push_back(where + "the logger got" + Quote(outcome.messages) + ", expected" +
                                      Quote(wanted));
    }
}

}  // namespace

void SetSampleMachines(const std::string& folder) {
    SampleFolder() = folder;
}

void RemoveMachineCopies() {
    std::error_code ec;
    for (const auto& [machine, copy] : Copies()) std::filesystem::remove_all(copy.folder, ec);
    Copies().clear();
}

Report Sweep(const Entry& entry) {
    Report report;
    std::map<std::string, unsigned> results;
    const Outcome clean = RunOnce(entry, std::nullopt);
    Check(entry, std::nullopt, clean, report, results);
    report.callsRecorded = clean.calls.size();
    for (const sim::RecordedCall& call : clean.calls) {
        const PlatformErrors* errors = ErrorsFor(call.function);
        if (errors == nullptr) {
            report.problems.push_back(entry.name + ": no error table for " + call.function +
                                      " (tests/sweep/platform_errors.cpp)");
            continue;
        }
        if (!errors->errors.empty()) ++report.callsSwept;
        for (std::uint32_t error : errors->errors) {
            Fault fault{call, error};
            Check(entry, fault, RunOnce(entry, fault), report, results);
            ++report.failuresInjected;
        }
    }
    std::ostringstream summary;
    summary << entry.name << " on " << entry.machine << ": " << report.callsRecorded << " calls, "
            << report.callsSwept << " swept, " << report.failuresInjected << " failures injected; results:";
    for (const auto& [result, count] : results) summary << ' ' << result << " x" << count;
    report.summary = summary.str();
    return report;
}

}  // namespace hostlens::sweep
