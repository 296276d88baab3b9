// Expansion of the logger's printf-style formats.
//
// The service library writes its messages with the directives of the Windows C
// runtime, so the expansion follows that runtime rather than the host's printf:
//
//   %[flags][width][.precision][length]conversion
//   flags      - + space 0 #
//   width      digits, or * (taken from an int argument; negative means left-justified)
//   precision  digits, or * (a negative argument means none); "." alone means 0
//   length     l (32 bits, as long is on Windows), ll or I64 (64 bits), w (wide)
//   conversion d i (signed), u x X (unsigned), c (a char passed as int),
//              s (a narrow string; with l or w a UTF-16 string, written as UTF-8), %%
//
// Anything else is not a directive: it is written as it stands and consumes no
// argument, so that a bad format costs a garbled message and never a crash. A null
// string argument prints "(null)".
#pragma once

#include <cstdarg>
#include <string>

namespace hostlens::logbridge {

// The expanded text, UTF-8. `args` is left as it came (the expansion works on a copy).
std::string Expand(const char* format, va_list args);

}  // namespace hostlens::logbridge
