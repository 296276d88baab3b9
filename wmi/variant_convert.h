// Turns the VARIANTs that WMI returns into the texts stored in the records, and CIM
// date-times into UTC.
#pragma once

#include <stdexcept>
#include <vector>

#include "platform/win32.h"

// A SAFEARRAY operation failed while an array was being read.
class SafeArrayError : public std::runtime_error {
public:
    SafeArrayError(const char* operation, HRESULT code);
    HRESULT Code() const { return code_; }

private:
    HRESULT code_;
};

// The text of a scalar value: VT_EMPTY and VT_NULL give an empty text (or fail when
// `emptyIsFailure`), numbers their decimal or fixed-point form, VT_BSTR its
// characters up to the first NUL, VT_BOOL "true" for VARIANT_TRUE and "false" for
// any other value. Every other type, arrays included, fails. On failure `out` is
// unchanged.
bool VariantToString(const VARIANT& value, WString& out, bool emptyIsFailure);

// The texts of an array of strings or numbers, in index order, or the one text of a
// scalar value. A failing element empties the list; an unsupported type fails and
// leaves it as it was. Throws SafeArrayError when the array cannot be copied or read.
bool VariantToStringList(const VARIANT& value, std::vector<WString>& out);

// Reads a CIM DATETIME ("yyyymmddHHMMSS.mmmmmmsUUU", UUU the offset from UTC in
// minutes) into UTC. On failure `out` is unchanged.
bool CimDateTimeToSystemTime(const WString& text, SYSTEMTIME& out);
