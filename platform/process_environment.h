// The environment of this process, as the libraries it loads afterwards read it (the
// logging library's file, the trace controller).
#pragma once

#include <string>

namespace hostlens {

// Sets (or replaces) the variable `name` for this process; an empty value removes it,
// as Windows keeps no empty variables. False when the platform refuses it (an empty
// name or one containing '=').
bool SetProcessEnvironment(const std::string& name, const std::string& value);

}  // namespace hostlens
