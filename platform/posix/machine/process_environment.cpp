#include "platform/process_environment.h"

#include <cstdlib>

namespace hostlens {

bool SetProcessEnvironment(const std::string& name, const std::string& value) {
    if (name.empty() || name.find('=') != std::string::npos) return false;
    if (value.empty()) return unsetenv(name.c_str()) == 0;
    return setenv(name.c_str(), value.c_str(), 1) == 0;
}

}  // namespace hostlens
