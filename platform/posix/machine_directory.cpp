#include "platform/machine_directory.h"

#include <filesystem>
#include <system_error>

namespace hostlens {

// The parsers of the directory's files are not in yet: the folder is checked so that a
// wrong path is reported, and the process runs against an empty machine.
bool LoadMachineDirectory(const std::string& dir, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code code;
    fs::file_status status = fs::status(dir, code);
    if (!fs::exists(status)) {
        error = "machine directory " + dir + ": no such folder";
        return false;
    }
    if (!fs::is_directory(status)) {
        error = "machine directory " + dir + ": not a folder";
        return false;
    }
    fs::directory_iterator entries(dir, code);
    if (code) {
        error = "machine directory " + dir + ": cannot be read: " + code.message();
        return false;
    }
    return true;
}

}  // namespace hostlens
