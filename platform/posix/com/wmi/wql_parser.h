// Parses `SELECT * | p1, p2 FROM Class [WHERE condition]` into a query whose
// condition is a postfix program, so that neither parsing nor evaluation recurses.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/posix/com/sim_wmi.h"
#include "platform/posix/com/wmi/wql.h"
#include "platform/posix/com/wmi/wql_like.h"

namespace hostlens::sim::wmi {

enum class CompareOp { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual };

struct WqlStep {
    enum class Kind {
        Compare,    // property op (constant | other property)
        IsNull,     // property IS NULL
        IsNotNull,  // property IS NOT NULL
        Like,       // property LIKE pattern
        NotLike,    // property NOT LIKE pattern
        And,        // pops two results, pushes one
        Or,
        Not,  // pops one result, pushes one
    };
    Kind kind = Kind::Compare;
    std::u16string property;  // as written in the query
    CompareOp op = CompareOp::Equal;
    std::u16string otherProperty;  // Compare with a property on the right; empty otherwise
    WmiValue constant;             // Compare with a constant (null, number, bool or text)
    LikePattern pattern;           // Like, NotLike
};

struct WqlQuery {
    bool allProperties = false;              // SELECT *
    std::vector<std::u16string> properties;  // as written, in order, when not *
    std::u16string className;
    std::vector<WqlStep> where;  // postfix; empty when there is no WHERE
};

// The query, or why it is not valid WQL (WBEM_E_INVALID_QUERY).
std::variant<WqlQuery, std::string> ParseWql(std::u16string_view text);

}  // namespace hostlens::sim::wmi
