#include "platform/program_arguments.h"

namespace hostlens {

// The arguments are bytes as the caller passed them, UTF-8 by convention.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

}  // namespace hostlens
