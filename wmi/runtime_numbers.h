// The C runtime's wide decimal parsers as WMI clients on Windows use them: leading
// white space and a sign are accepted, parsing stops at the first other character,
// 0 when nothing parses, and an integer that does not fit saturates at the type's
// limit (as _wtoi, _wtol and _wtoll do).
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace hostlens::runtime {

std::int32_t WideToInt(const WCHAR* text);    // _wtoi and _wtol: 32-bit int and long
std::int64_t WideToInt64(const WCHAR* text);  // _wtoll
double WideToDouble(const WCHAR* text);       // _wtof

}  // namespace hostlens::runtime
