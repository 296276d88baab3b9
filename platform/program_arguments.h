// The arguments a program was started with, as UTF-8 text.
#pragma once

#include <string>
#include <vector>

namespace hostlens {

// This process's arguments, the program's name first, in UTF-8. `argc` and `argv` are
// main's. On Windows main's arguments are in the ANSI code page, which cannot hold
// every character (a query for a user named in Cyrillic), so the UTF-16 command line
// is read instead; elsewhere the arguments are main's, as given.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace hostlens
