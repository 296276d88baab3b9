// Reading the values of a WMI row into record fields. A property the row does not hold
// (WMI did not deliver it, or it was null) leaves the field as it is, silently.
#pragma once

#include <cstdint>
#include <vector>

#include "hostlens/WmiMng.h"

namespace hostlens::hardware {

// The property's text (VariantToString). A value without a text form is traced at
// error level with its VARIANT type and leaves the field as it is.
void ReadText(const WmiRow& row, const WCHAR* name, WString& field);

// One text per array element, or the one text of a scalar (VariantToStringList); a
// value that does not convert, or an array that cannot be read, is traced at error
// level and leaves the field as it is.
void ReadTextList(const WmiRow& row, const WCHAR* name, std::vector<WString>& field);

// The integer the row holds, taken by its VARIANT type and never through text: the
// bits of the VARIANT's own width read as unsigned, so that a uint32 that WMI hands
// over as a negative VT_I4 reads as the number it is (and a sint32 -1 as 0xFFFFFFFF).
// A repaired 64-bit value is VT_UI8 or VT_I8. Any other type (a text, a boolean, a
// real: a class that declares the property with another type than Windows does) is
// traced at error level and gives nothing.
bool ReadInteger(const WmiRow& row, const WCHAR* name, std::uint64_t& bits);

// An optional number: cut to the field's width, with its present flag set.
template <class Number>
void ReadNumber(const WmiRow& row, const WCHAR* name, Number& value, bool& present) {
    std::uint64_t bits = 0;
    if (!ReadInteger(row, name, bits)) return;
    value = static_cast<Number>(bits);
    present = true;
}

// A WMI boolean (VT_BOOL), its 16 bits as they are: VARIANT_TRUE is 0xFFFF, and
// callers decide what other patterns mean. Any other type is traced at error level
// and gives nothing.
bool ReadBoolean(const WmiRow& row, const WCHAR* name, VARIANT_BOOL& bits);

}  // namespace hostlens::hardware
