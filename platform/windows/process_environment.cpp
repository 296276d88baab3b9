#include "platform/process_environment.h"

#include <stdlib.h>

namespace hostlens {

// _putenv_s updates both the C runtime's copy and the process environment block, so a
// DLL loaded afterwards sees the value whichever of the two it reads.
bool SetProcessEnvironment(const std::string& name, const std::string& value) {
    if (name.empty() || name.find('=') != std::string::npos) return false;
    return _putenv_s(name.c_str(), value.c_str()) == 0;
}

}  // namespace hostlens
