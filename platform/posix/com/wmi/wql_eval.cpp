// Binds a parsed query to its class (names to property positions, constants to the
// property's type) and runs the postfix condition over each instance.
#include <charconv>
#include <cmath>
#include <compare>
#include <optional>

#include "platform/posix/machine/machine.h"
#include "platform/posix/com/wmi/cim.h"
#include "platform/posix/com/wmi/number.h"
#include "platform/posix/com/wmi/wql.h"
#include "platform/posix/com/wmi/wql_parser.h"

namespace hostlens::sim::wmi {
namespace {

struct BindError {
    std::string message;
};

struct BoundStep {
    WqlStep::Kind kind = WqlStep::Kind::And;
    std::size_t property = 0;
    std::optional<std::size_t> otherProperty;
    Category category = Category::Other;
    CompareOp op = CompareOp::Equal;
    WmiValue constant;  // converted to the property's kind; null never matches
    const LikePattern* pattern = nullptr;
};

std::string Quote(std::u16string_view name) {
    std::string quoted = "\"";
    quoted += detail::Excerpt(name);
    quoted += '"';
    return quoted;
}

std::u16string Text(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::u16string RealText(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return Text(std::string_view(buffer, result.ptr - buffer));
}

// The constant in the form the property's values take.
WmiValue Convert(const WmiValue& constant, CimType type, const std::u16string& property) {
    if (std::holds_alternative<std::monostate>(constant)) return constant;
    auto invalid = [&]() -> BindError {
        return BindError{DescribeValue(constant) + " cannot be compared with " + Quote(property) +
                         " of type " + CimTypeName(type)};
    };
    switch (CategoryOf(type)) {
        case Category::Text:
            if (const auto* text = std::get_if<std::u16string>(&constant)) return *text;
            if (const auto* s = std::get_if<std::int64_t>(&constant)) return Text(std::to_string(*s));
            if (const auto* u = std::get_if<std::uint64_t>(&constant)) return Text(std::to_string(*u));
            if (const auto* d = std::get_if<double>(&constant)) return RealText(*d);
            return Text(std::get<bool>(constant) ? "TRUE" : "FALSE");
        case Category::Number: {
            WmiValue number = constant;
            if (const auto* b = std::get_if<bool>(&constant)) {
                number = std::int64_t{*b ? 1 : 0};
            } else if (const auto* text = std::get_if<std::u16string>(&constant)) {
                if (type == cim::Char16 && text->size() == 1) return static_cast<std::uint64_t>((*text)[0]);
                auto parsed = ParseNumberText(*text);
                if (!parsed) throw invalid();
                number = *parsed;
            }
            // Stored REAL32 values have float precision; so must the constant.
            if (const auto* d = std::get_if<double>(&number); d && type == cim::Real32)
                number = static_cast<double>(static_cast<float>(*d));
            return number;
        }
        case Category::Boolean:
            if (const auto* b = std::get_if<bool>(&constant)) return *b;
            if (const auto* s = std::get_if<std::int64_t>(&constant)) return *s != 0;
            if (const auto* u = std::get_if<std::uint64_t>(&constant)) return *u != 0;
            if (const auto* d = std::get_if<double>(&constant)) return *d != 0;
            if (detail::CompareNoCase(std::get<std::u16string>(constant), u"TRUE") == 0) return true;
            if (detail::CompareNoCase(std::get<std::u16string>(constant), u"FALSE") == 0) return false;
            throw invalid();
        case Category::Other:
            break;
    }
    throw invalid();
}

template <class T>
std::partial_ordering Order(T a, T b) {
    return a <=> b;
}

// Exact comparison of an integer with a real, without rounding the integer.
template <class Int>
std::partial_ordering CompareIntReal(Int i, double d) {
    if (std::isnan(d)) return std::partial_ordering::unordered;
    constexpr double kTwo63 = 9223372036854775808.0;
    constexpr double kTwo64 = 18446744073709551616.0;
    if constexpr (std::is_signed_v<Int>) {
        if (d >= kTwo63) return std::partial_ordering::less;
        if (d < -kTwo63) return std::partial_ordering::greater;
    } else {
        if (d >= kTwo64) return std::partial_ordering::less;
        if (d < 0) return std::partial_ordering::greater;
    }
    double whole = std::trunc(d);
    Int truncated = static_cast<Int>(whole);
    if (i != truncated) return Order(i, truncated);
    return Order(0.0, d - whole);
}

struct NumberOrder {
    std::partial_ordering operator()(std::int64_t x, std::int64_t y) const { return Order(x, y); }
    std::partial_ordering operator()(std::uint64_t x, std::uint64_t y) const { return Order(x, y); }
    std::partial_ordering operator()(double x, double y) const { return Order(x, y); }
    std::partial_ordering operator()(std::int64_t x, std::uint64_t y) const {
        return x < 0 ? std::partial_ordering::less : Order(static_cast<std::uint64_t>(x), y);
    }
    std::partial_ordering operator()(std::uint64_t x, std::int64_t y) const { return 0 <=> (*this)(y, x); }
    std::partial_ordering operator()(std::int64_t x, double y) const { return CompareIntReal(x, y); }
    std::partial_ordering operator()(std::uint64_t x, double y) const { return CompareIntReal(x, y); }
    std::partial_ordering operator()(double x, std::int64_t y) const { return 0 <=> CompareIntReal(y, x); }
    std::partial_ordering operator()(double x, std::uint64_t y) const { return 0 <=> CompareIntReal(y, x); }
    // Anything else is not a pair of numbers (the binding step rules it out).
    template <class X, class Y>
    std::partial_ordering operator()(const X&, const Y&) const {
        return std::partial_ordering::unordered;
    }
};

std::partial_ordering CompareNumbers(const WmiValue& a, const WmiValue& b) {
    return std::visit(NumberOrder{}, a, b);
}

std::partial_ordering CompareValues(Category category, const WmiValue& a, const WmiValue& b) {
    switch (category) {
        case Category::Text: {
            const auto* x = std::get_if<std::u16string>(&a);
            const auto* y = std::get_if<std::u16string>(&b);
            if (!x || !y) return std::partial_ordering::unordered;
            return detail::CompareNoCase(*x, *y) <=> 0;
        }
        case Category::Number:
            return CompareNumbers(a, b);
        case Category::Boolean: {
            const bool* x = std::get_if<bool>(&a);
            const bool* y = std::get_if<bool>(&b);
            if (!x || !y) return std::partial_ordering::unordered;
            return Order(int{*x}, int{*y});
        }
        case Category::Other:
            break;
    }
    return std::partial_ordering::unordered;
}

bool Holds(CompareOp op, std::partial_ordering order) {
    if (order == std::partial_ordering::unordered) return false;
    switch (op) {
        case CompareOp::Equal:
            return order == 0;
        case CompareOp::NotEqual:
            return order != 0;
        case CompareOp::Less:
            return order < 0;
        case CompareOp::Greater:
            return order > 0;
        case CompareOp::LessEqual:
            return order <= 0;
        case CompareOp::GreaterEqual:
            return order >= 0;
    }
    return false;
}

class BoundQuery {
public:
    BoundQuery(const WqlQuery& query, const ClassDef& cls) {
        if (query.allProperties) {
            for (std::size_t i = 0; i < cls.properties.size(); ++i) selected_.push_back(i);
        } else {
            for (const auto& name : query.properties) {
                std::size_t index = Resolve(cls, name, "select list");
                bool repeated = false;
                for (std::size_t s : selected_) repeated = repeated || s == index;
                if (!repeated) selected_.push_back(index);
            }
        }
        for (const WqlStep& step : query.where) steps_.push_back(Bind(step, cls));
    }

    const std::vector<std::size_t>& Selected() const { return selected_; }

    bool Matches(const Instance& instance, std::vector<char>& stack) const {
        if (steps_.empty()) return true;
        stack.clear();
        for (const BoundStep& step : steps_) {
            switch (step.kind) {
                case WqlStep::Kind::And:
                case WqlStep::Kind::Or: {
                    bool right = stack.back();
                    stack.pop_back();
                    bool left = stack.back();
                    stack.back() = step.kind == WqlStep::Kind::And ? (left && right) : (left || right);
                    break;
                }
                case WqlStep::Kind::Not:
                    stack.back() = !stack.back();
                    break;
                default:
                    stack.push_back(Test(step, instance));
                    break;
            }
        }
        return stack.back();
    }

private:
    static std::size_t Resolve(const ClassDef& cls, const std::u16string& name, const char* where) {
        auto index = cls.FindProperty(name);
        if (!index)
            throw BindError{"class " + Quote(cls.name) + " has no property " + Quote(name) + " (" + where +
                            ")"};
        return *index;
    }

    static BoundStep Bind(const WqlStep& step, const ClassDef& cls) {
        BoundStep bound;
        bound.kind = step.kind;
        if (step.kind == WqlStep::Kind::And || step.kind == WqlStep::Kind::Or ||
            step.kind == WqlStep::Kind::Not)
            return bound;
        bound.property = Resolve(cls, step.property, "WHERE");
        const WmiProperty& property = cls.properties[bound.property];
        bound.category = CategoryOf(property.type);
        if (step.kind == WqlStep::Kind::IsNull || step.kind == WqlStep::Kind::IsNotNull) return bound;
        if (bound.category == Category::Other)
            throw BindError{Quote(property.name) + " of type " + CimTypeName(property.type) +
                            " can only be tested with IS [NOT] NULL"};
        if (step.kind == WqlStep::Kind::Like || step.kind == WqlStep::Kind::NotLike) {
            if (bound.category != Category::Text)
                throw BindError{"LIKE needs a text property; " + Quote(property.name) + " is " +
                                CimTypeName(property.type)};
            bound.pattern = &step.pattern;
            return bound;
        }
        bound.op = step.op;
        if (!step.otherProperty.empty()) {
            bound.otherProperty = Resolve(cls, step.otherProperty, "WHERE");
            const WmiProperty& other = cls.properties[*bound.otherProperty];
            if (CategoryOf(other.type) != bound.category)
                throw BindError{Quote(property.name) + " (" + CimTypeName(property.type) +
                                ") cannot be compared with " + Quote(other.name) + " (" +
                                CimTypeName(other.type) + ")"};
            return bound;
        }
        bound.constant = Convert(step.constant, property.type, property.name);
        return bound;
    }

    static bool Test(const BoundStep& step, const Instance& instance) {
        const WmiValue& value = instance[step.property];
        bool isNull = std::holds_alternative<std::monostate>(value);
        switch (step.kind) {
            case WqlStep::Kind::IsNull:
                return isNull;
            case WqlStep::Kind::IsNotNull:
                return !isNull;
            case WqlStep::Kind::Like:
            case WqlStep::Kind::NotLike: {
                if (isNull) return false;
                bool like = step.pattern->Matches(std::get<std::u16string>(value));
                return step.kind == WqlStep::Kind::Like ? like : !like;
            }
            default:
                break;
        }
        const WmiValue& other = step.otherProperty ? instance[*step.otherProperty] : step.constant;
        if (isNull || std::holds_alternative<std::monostate>(other)) return false;
        return Holds(step.op, CompareValues(step.category, value, other));
    }

    std::vector<std::size_t> selected_;
    std::vector<BoundStep> steps_;
};

WqlResult Failure(HRESULT code, std::string message) {
    WqlResult result;
    result.code = code;
    result.message = std::move(message);
    return result;
}

}  // namespace

WqlResult CheckWqlSyntax(std::u16string_view query) {
    auto parsed = ParseWql(query);
    if (auto* error = std::get_if<std::string>(&parsed)) return Failure(kWbemInvalidQuery, std::move(*error));
    return WqlResult{};
}

WqlResult ExecuteWql(const Repository& repository, std::u16string_view ns, std::u16string_view query) {
    auto parsed = ParseWql(query);
    if (auto* error = std::get_if<std::string>(&parsed)) return Failure(kWbemInvalidQuery, std::move(*error));
    const WqlQuery& wql = std::get<WqlQuery>(parsed);
    WqlResult result;
    auto lookup =
        repository.Read(ns, wql.className, [&](const ClassDef& cls, const std::vector<Instance>& instances) {
            try {
                BoundQuery bound(wql, cls);
                result.className = cls.name;
                for (std::size_t index : bound.Selected()) result.properties.push_back(cls.properties[index]);
                std::vector<char> stack;
                for (const Instance& instance : instances) {
                    if (!bound.Matches(instance, stack)) continue;
                    Instance row;
                    row.reserve(bound.Selected().size());
                    for (std::size_t index : bound.Selected()) row.push_back(instance[index]);
                    result.rows.push_back(std::move(row));
                }
            } catch (const BindError& error) {
                result = Failure(kWbemInvalidQuery, error.message);
            }
        });
    if (lookup == Repository::Lookup::NoNamespace)
        return Failure(kWbemInvalidNamespace, "namespace " + Quote(ns) + " does not exist");
    if (lookup == Repository::Lookup::NoClass)
        return Failure(kWbemInvalidClass,
                       "class " + Quote(wql.className) + " does not exist in " + Quote(ns));
    return result;
}

}  // namespace hostlens::sim::wmi
