// The fault sweep: runs one service operation on a sample machine once to record the
// platform calls it makes, then once more per recorded call and per error of that
// call's family (platform_errors.h) with exactly that call failing. After every run
// nothing may be left open, the result must be one the service may give, no exception
// may escape (unless the operation lets one reach its caller by design), and where
// the service quotes a message for the failure, the message must have reached the
// logger.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/machine/sim.h"
#include "support/test_logger.h"

namespace hostlens::sweep {

// One operation as the agent performs it. Prepare and Finish run outside the sweep
// (getting and freeing the service object); Run is swept and answers the result.
class Operation {
public:
    virtual ~Operation() = default;
    virtual void Prepare() {}
    virtual std::uint32_t Run() = 0;
    virtual void Finish() {}
};

// In an entry's allowed results: the error that was injected, passed through.
constexpr std::uint32_t kInjected = 0xFFFFFFFF;

// The messages a failure must send to the logger (in this order, among others),
// given the failing call and the injected error; empty when the service quotes none.
using ExpectedMessages =
    std::function<std::vector<test::LoggedMessage>(const sim::RecordedCall& call, std::uint32_t error)>;

struct Entry {
    std::string machine;  // a sample machine's folder name
    std::string name;     // "battery GetBatteryStatus"
    std::function<std::unique_ptr<Operation>()> make;
    std::vector<std::uint32_t> allowed;  // results the service may give
    ExpectedMessages messages;           // may be empty
    // The WMI manager lets allocation and SAFEARRAY failures reach its caller as
    // exceptions; everything else must catch them.
    bool exceptionsReachCaller = false;
};

struct Report {
    std::size_t callsRecorded = 0;
    std::size_t callsSwept = 0;  // calls whose family has errors to inject
    std::size_t failuresInjected = 0;
    std::vector<std::string> problems;  // empty when the entry passed
    std::string summary;                // one line for the log
};

// The folder that holds the sample machines (a copy is made with the test logger as
// the agent's logging library).
void SetSampleMachines(const std::string& folder);
void RemoveMachineCopies();

Report Sweep(const Entry& entry);

}  // namespace hostlens::sweep
