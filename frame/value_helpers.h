// Narrow-to-wide conversion and the textual form of numbers in the records the
// agent receives.
#pragma once

#include <string>

#include "platform/win32.h"

// Converts `text` from `codePage` (callers pass GetACP()). The result ends at the
// first NUL. An empty text gives an empty result; on failure `out` is unchanged.
bool AnsiToWide(const std::string& text, WString& out, UINT codePage);

// Plain decimal: no fill, no thousands separators, a minus sign only for negative
// values. There is one overload per standard integer type, so that every Win32
// integer type (whose underlying type differs between platforms) finds its own
// exactly; 8- and 16-bit values widen to int.
WString NumberToWide(int value);
WString NumberToWide(unsigned int value);
WString NumberToWide(long value);
WString NumberToWide(unsigned long value);
WString NumberToWide(long long value);
WString NumberToWide(unsigned long long value);
// Fixed notation with six digits after the decimal point, never an exponent
// (1e20 gives 100000000000000000000.000000); a float widens to double.
WString NumberToWide(double value);
