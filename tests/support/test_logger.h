// The test side of the test logger: installs it where the service library looks for
// the agent's logging library, and reads back what was logged to it. The logger is
// found the way the service library finds it, through the module API, so the same
// helper serves on Windows.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace hostlens::test {

struct LoggedMessage {
    int level = 0;
    std::string text;
    bool operator==(const LoggedMessage&) const = default;
};
void PrintTo(const LoggedMessage& message, std::ostream* out);

struct LoggerCounts {
    int gets = 0;   // GetILogbridge calls
    int frees = 0;  // references released by FreeILogbridge
    bool operator==(const LoggerCounts&) const = default;
};
void PrintTo(const LoggerCounts& counts, std::ostream* out);

class TestLogger {
public:
    // Copies the test logger to <driveC>/<installFolder>/Utils as the agent's logging
    // library (Utils\Logbridge.dll), creating the folders. `installFolder` is relative
    // to the drive folder, with forward slashes.
    static void Install(const std::filesystem::path& driveC, const std::filesystem::path& installFolder);

    // The messages logged since the last Take, oldest first; empty when the logging
    // library is not loaded.
    static std::vector<LoggedMessage> Take();

    // Calls seen by the loaded logger since it was loaded; zeros when it is not loaded.
    static LoggerCounts Counts();
};

}  // namespace hostlens::test
