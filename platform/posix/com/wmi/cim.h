// CIM types and values: which values a property of each type takes, and how the
// query engine groups the types for comparisons.
#pragma once

#include <string>
#include <string_view>

#include "platform/posix/com/sim_wmi.h"

namespace hostlens::sim::wmi {

// How WQL compares a property: text without case, numbers by value, booleans as
// false < true. Embedded objects and arrays take part only in IS [NOT] NULL.
enum class Category { Text, Number, Boolean, Other };

bool IsKnownCimType(CimType type);
Category CategoryOf(CimType type);
bool IsArrayType(CimType type);
std::string CimTypeName(CimType type);  // "CIM_UINT8", "CIM_STRING array"

// Checks that `value` fits a property of `type` and returns it in the repository's
// form (see WmiValue). Integer types also take integral reals and decimal text, as
// captured WMI data carries 64-bit integers as strings. Throws std::invalid_argument
// with a message that names the value and the type.
WmiValue ToCimValue(CimType type, const WmiValue& value);

// The value as a message shows it: 42, 1.5, true, "text", [1, 2], null.
std::string DescribeValue(const WmiValue& value);

// WMI identifiers: a letter, '_' or a non-ASCII character, then also digits.
bool IsIdentifier(std::u16string_view name);

}  // namespace hostlens::sim::wmi
