// The C runtime's wide decimal parsers as code on Windows uses them: leading
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

// swscanf with two formats that registry texts are read with. Each stores only the
// fields it converts and answers how many it stored (where swscanf answers EOF for a
// text that ends before the first conversion, these answer 0). A number skips
// leading white space, takes a sign and at least one digit; one that does not fit
// saturates as strtol (%d) and strtoul (%u, its magnitude, then negated after a minus)
// do, which is what the C run time measured under Wine stores. The C standard leaves
// it undefined.
int ScanDottedPair(const WCHAR* text, int& first, int& second);      // "%d.%d"
int ScanThirdWordNumber(const WCHAR* text, unsigned short& number);  // "%*s %*s %hu"

}  // namespace hostlens::runtime
