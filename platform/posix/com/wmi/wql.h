// The WQL engine: runs `SELECT ... FROM ... [WHERE ...]` against the repository with
// WMI's result codes.
//
// Constants: 'text' or "text" (a backslash makes the next character literal),
// integers in decimal or 0x hexadecimal with an optional sign, reals (1.5, .5, 2e3),
// TRUE, FALSE and NULL. A constant may stand on either side of a comparison
// ("5 < Count" is "Count > 5"); comparing two constants is invalid. Keywords, class
// and property names are matched without case. A property selected twice is
// returned once.
//
// Comparisons follow WMI: a constant is converted to the property's type before it
// is compared. Text (CIM_STRING, CIM_DATETIME, CIM_REFERENCE) compares without case,
// and a number or TRUE/FALSE compared with it is taken as its text ("5", "TRUE").
// Numbers (the integer types, reals, CIM_CHAR16) compare by value across signed,
// unsigned and real; text compared with them must read as a number (a one-character
// text for CIM_CHAR16), else the query is invalid; TRUE and FALSE count as 1 and 0.
// Booleans take TRUE/FALSE, numbers (non-zero is TRUE) and the texts 'TRUE'/'FALSE'.
// A null property value, or NULL as the constant, makes every comparison false, so
// only IS [NOT] NULL finds null values; NOT then simply inverts the result.
// A property may also be compared with another property of the same class when both
// are of the same kind (text, number or boolean); other pairs are invalid queries.
// Arrays and embedded objects can only be tested with IS [NOT] NULL: WMI does not
// compare array properties in a WHERE clause, and neither does this engine.
// LIKE takes a text property and a text pattern; NOT LIKE is accepted too. A pattern
// has at most kMaxLikePattern (512) characters: matching takes time linear in the
// text for any pattern, but the matcher's table grows with the square of the
// pattern's length (wql_like.h), and no real query needs a pattern near that long.
//
// Result codes: text that is not valid WQL (including an empty query, trailing text,
// a bare word where a constant belongs, a query over 64 KiB, nested more than 256
// deep or with a LIKE pattern over 512 characters) is WBEM_E_INVALID_QUERY; an unknown class is
// WBEM_E_INVALID_CLASS; an unknown property in the select list or the condition, or a comparison the types do
// not allow, is WBEM_E_INVALID_QUERY (WMI answers an unknown selected property that way too, rather than with
// WBEM_E_NOT_FOUND). Syntax is checked before the class. System properties (__CLASS, __PATH, ...) and class
// inheritance are not modelled.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/win32_types.h"
#include "platform/posix/com/wmi/repository.h"
#include "platform/posix/com/wmi/wql_like.h"

namespace hostlens::sim::wmi {

inline constexpr HRESULT kWbemInvalidNamespace = static_cast<HRESULT>(0x8004100EU);
inline constexpr HRESULT kWbemInvalidClass = static_cast<HRESULT>(0x80041010U);
inline constexpr HRESULT kWbemInvalidQuery = static_cast<HRESULT>(0x80041017U);

// Longest query accepted: 64 KiB of UTF-16.
inline constexpr std::size_t kMaxWqlLength = 32768;
// Deepest nesting of parentheses and NOTs accepted.
inline constexpr std::size_t kMaxWqlNesting = 256;

struct WqlResult {
    HRESULT code = 0;                     // S_OK or one of the codes above
    std::string message;                  // why the query failed, for diagnostics
    std::u16string className;             // as the class was declared
    std::vector<WmiProperty> properties;  // selected, in SELECT order (* gives the class's order)
    std::vector<Instance> rows;           // matching instances in insertion order; each row
                                          // holds the selected properties' values in order
};

// Checks only the text: S_OK or WBEM_E_INVALID_QUERY, with the reason.
WqlResult CheckWqlSyntax(std::u16string_view query);

// Runs the query in namespace `ns`. An unknown namespace gives
// WBEM_E_INVALID_NAMESPACE, though callers normally find that out when connecting.
WqlResult ExecuteWql(const Repository& repository, std::u16string_view ns, std::u16string_view query);

}  // namespace hostlens::sim::wmi
