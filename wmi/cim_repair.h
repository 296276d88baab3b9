#pragma once

#include "platform/win32.h"

// WMI hands 64-bit integers, and sometimes other numbers, over as strings: a BSTR
// whose property has a numeric CIM type becomes a number of that type, parsed as the
// C runtime's _wtoi family parses it. Every other value stays as it is.
void RepairCimType(VARIANT& value, CIMTYPE type);
