// WMI values as JSON, typed from their VARIANT: numbers as numbers, booleans as
// true/false, strings as UTF-8, empty and null as null, arrays as lists.
#pragma once

#include "hostlens/WmiMng.h"
#include "tools/hostlens/records_json.h"

namespace hostlens::cli {

Json VariantToJson(const VARIANT& value);
// One row: an object from property name to value.
Json RowToJson(const WmiRow& row);

}  // namespace hostlens::cli
