#include "platform/posix/com/wmi/cim.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "platform/posix/machine/machine.h"
#include "platform/posix/com/wmi/number.h"

namespace hostlens::sim::wmi {
namespace {

struct IntegerRange {
    std::int64_t min;
    std::uint64_t max;
};

std::optional<IntegerRange> RangeOf(CimType element) {
    switch (element) {
        case cim::SInt8:
            return IntegerRange{-128, 127};
        case cim::UInt8:
            return IntegerRange{0, 255};
        case cim::SInt16:
            return IntegerRange{-32768, 32767};
        case cim::UInt16:
        case cim::Char16:
            return IntegerRange{0, 65535};
        case cim::SInt32:
            return IntegerRange{-2147483648LL, 2147483647};
        case cim::UInt32:
            return IntegerRange{0, 4294967295ULL};
        case cim::SInt64:
            return IntegerRange{std::numeric_limits<std::int64_t>::min(),
                                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())};
        case cim::UInt64:
            return IntegerRange{0, std::numeric_limits<std::uint64_t>::max()};
        default:
            return std::nullopt;
    }
}

bool IsSigned(CimType element) {
    return element == cim::SInt8 || element == cim::SInt16 || element == cim::SInt32 ||
           element == cim::SInt64;
}

[[noreturn]] void DoesNotFit(const WmiValue& value, CimType type, const char* why = nullptr) {
    std::string message = DescribeValue(value) + " does not fit " + CimTypeName(type);
    if (why) message += std::string(" (") + why + ")";
    throw std::invalid_argument(message);
}

WmiScalar ToInteger(CimType element, const WmiScalar& value) {
    IntegerRange range = *RangeOf(element);
    WmiValue original = std::visit([](const auto& v) { return WmiValue(v); }, value);
    // Brought to one of the two integer forms first; the range check follows.
    std::optional<WmiValue> number;
    if (std::holds_alternative<std::int64_t>(value) || std::holds_alternative<std::uint64_t>(value)) {
        number = original;
    } else if (const double* real = std::get_if<double>(&value)) {
        if (!std::isfinite(*real) || std::trunc(*real) != *real)
            DoesNotFit(original, element, "not an integer");
        if (*real >= -9223372036854775808.0 && *real < 9223372036854775808.0)
            number = WmiValue(static_cast<std::int64_t>(*real));
        else if (*real >= 0 && *real < 18446744073709551616.0)
            number = WmiValue(static_cast<std::uint64_t>(*real));
    } else if (const std::u16string* text = std::get_if<std::u16string>(&value)) {
        if (element == cim::Char16 && text->size() == 1) return static_cast<std::uint64_t>((*text)[0]);
        number = ParseNumberText(*text);
        if (!number || std::holds_alternative<double>(*number))
            DoesNotFit(original, element, "not an integer");
    } else {
        DoesNotFit(original, element);
    }
    if (!number) DoesNotFit(original, element, "out of range");
    bool fits = false;
    if (const std::int64_t* s = std::get_if<std::int64_t>(&*number))
        fits = *s >= range.min && (*s < 0 || static_cast<std::uint64_t>(*s) <= range.max);
    else
        fits = std::get<std::uint64_t>(*number) <= range.max;
    if (!fits) DoesNotFit(original, element, "out of range");
    if (IsSigned(element)) {
        if (const std::uint64_t* u = std::get_if<std::uint64_t>(&*number))
            return static_cast<std::int64_t>(*u);
        return std::get<std::int64_t>(*number);
    }
    if (const std::int64_t* s = std::get_if<std::int64_t>(&*number)) return static_cast<std::uint64_t>(*s);
    return std::get<std::uint64_t>(*number);
}

WmiScalar ToReal(CimType element, const WmiScalar& value) {
    WmiValue original = std::visit([](const auto& v) { return WmiValue(v); }, value);
    double real = 0;
    if (const double* d = std::get_if<double>(&value))
        real = *d;
    else if (const std::int64_t* s = std::get_if<std::int64_t>(&value))
        real = static_cast<double>(*s);
    else if (const std::uint64_t* u = std::get_if<std::uint64_t>(&value))
        real = static_cast<double>(*u);
    else
        DoesNotFit(original, element);
    if (element == cim::Real32) {
        if (std::isfinite(real) && std::fabs(real) > std::numeric_limits<float>::max())
            DoesNotFit(original, element, "out of range");
        real = static_cast<double>(static_cast<float>(real));
    }
    return real;
}

bool IsDateTime(std::u16string_view text) {
    // yyyymmddHHMMSS.mmmmmmsUUU (s is + or -), or the interval form
    // ddddddddHHMMSS.mmmmmm:000; WMI writes '*' for fields it does not know.
    if (text.size() != 25 || text[14] != u'.') return false;
    bool interval = text[21] == u':';
    if (!interval && text[21] != u'+' && text[21] != u'-') return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 14 || i == 21) continue;
        char16_t c = text[i];
        if (!(c >= u'0' && c <= u'9') && c != u'*') return false;
    }
    return true;
}

WmiScalar ToScalar(CimType element, const WmiScalar& value) {
    WmiValue original = std::visit([](const auto& v) { return WmiValue(v); }, value);
    switch (element) {
        case cim::SInt8:
        case cim::UInt8:
        case cim::SInt16:
        case cim::UInt16:
        case cim::SInt32:
        case cim::UInt32:
        case cim::SInt64:
        case cim::UInt64:
        case cim::Char16:
            return ToInteger(element, value);
        case cim::Real32:
        case cim::Real64:
            return ToReal(element, value);
        case cim::Boolean:
            if (!std::holds_alternative<bool>(value)) DoesNotFit(original, element);
            return value;
        case cim::String:
        case cim::Reference:
            if (!std::holds_alternative<std::u16string>(value)) DoesNotFit(original, element);
            return value;
        case cim::DateTime:
            if (!std::holds_alternative<std::u16string>(value)) DoesNotFit(original, element);
            if (!IsDateTime(std::get<std::u16string>(value)))
                DoesNotFit(original, element, "expected yyyymmddHHMMSS.mmmmmmsUUU");
            return value;
        case cim::Object:
            DoesNotFit(original, element, "embedded objects are not supported");
        default:
            DoesNotFit(original, element, "unknown CIM type");
    }
}

}  // namespace

bool IsKnownCimType(CimType type) {
    CimType element = type & static_cast<CimType>(~cim::Array);
    switch (element) {
        case cim::SInt8:
        case cim::UInt8:
        case cim::SInt16:
        case cim::UInt16:
        case cim::SInt32:
        case cim::UInt32:
        case cim::SInt64:
        case cim::UInt64:
        case cim::Real32:
        case cim::Real64:
        case cim::Boolean:
        case cim::String:
        case cim::DateTime:
        case cim::Reference:
        case cim::Char16:
        case cim::Object:
            return true;
        default:
            return false;
    }
}

bool IsArrayType(CimType type) {
    return (type & cim::Array) != 0;
}

Category CategoryOf(CimType type) {
    if (IsArrayType(type)) return Category::Other;
    switch (type) {
        case cim::String:
        case cim::DateTime:
        case cim::Reference:
            return Category::Text;
        case cim::Boolean:
            return Category::Boolean;
        case cim::Object:
            return Category::Other;
        default:
            return Category::Number;
    }
}

std::string CimTypeName(CimType type) {
    const char* name = "CIM_UNKNOWN";
    switch (type & static_cast<CimType>(~cim::Array)) {
        case cim::SInt8:
            name = "CIM_SINT8";
            break;
        case cim::UInt8:
            name = "CIM_UINT8";
            break;
        case cim::SInt16:
            name = "CIM_SINT16";
            break;
        case cim::UInt16:
            name = "CIM_UINT16";
            break;
        case cim::SInt32:
            name = "CIM_SINT32";
            break;
        case cim::UInt32:
            name = "CIM_UINT32";
            break;
        case cim::SInt64:
            name = "CIM_SINT64";
            break;
        case cim::UInt64:
            name = "CIM_UINT64";
            break;
        case cim::Real32:
            name = "CIM_REAL32";
            break;
        case cim::Real64:
            name = "CIM_REAL64";
            break;
        case cim::Boolean:
            name = "CIM_BOOLEAN";
            break;
        case cim::String:
            name = "CIM_STRING";
            break;
        case cim::DateTime:
            name = "CIM_DATETIME";
            break;
        case cim::Reference:
            name = "CIM_REFERENCE";
            break;
        case cim::Char16:
            name = "CIM_CHAR16";
            break;
        case cim::Object:
            name = "CIM_OBJECT";
            break;
        default:
            return "CIM type " + std::to_string(type);
    }
    return IsArrayType(type) ? std::string(name) + " array" : std::string(name);
}

WmiValue ToCimValue(CimType type, const WmiValue& value) {
    if (!IsKnownCimType(type)) DoesNotFit(value, type, "unknown CIM type");
    if (std::holds_alternative<std::monostate>(value)) return value;
    CimType element = type & static_cast<CimType>(~cim::Array);
    if (IsArrayType(type)) {
        const WmiArray* array = std::get_if<WmiArray>(&value);
        if (!array) DoesNotFit(value, type, "not an array");
        if (element == cim::Object) DoesNotFit(value, type, "embedded objects are not supported");
        WmiArray converted;
        converted.reserve(array->size());
        for (std::size_t i = 0; i < array->size(); ++i) {
            try {
                converted.push_back(ToScalar(element, (*array)[i]));
            } catch (const std::invalid_argument& e) {
                throw std::invalid_argument("element " + std::to_string(i) + ": " + e.what());
            }
        }
        return converted;
    }
    if (std::holds_alternative<WmiArray>(value)) DoesNotFit(value, type, "an array for a single value");
    WmiScalar scalar = std::visit(
        [](const auto& v) -> WmiScalar {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate> || std::is_same_v<T, WmiArray>)
                return std::int64_t{0};  // excluded above
            else
                return v;
        },
        value);
    return std::visit([](const auto& v) { return WmiValue(v); }, ToScalar(element, scalar));
}

std::string DescribeValue(const WmiValue& value) {
    struct Describer {
        std::string operator()(std::monostate) const { return "null"; }
        std::string operator()(std::int64_t v) const { return std::to_string(v); }
        std::string operator()(std::uint64_t v) const { return std::to_string(v); }
        std::string operator()(double v) const {
            char buffer[64];
            auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
            return std::string(buffer, result.ptr);
        }
        std::string operator()(bool v) const { return v ? "true" : "false"; }
        std::string operator()(const std::u16string& v) const {
            std::string quoted = "\"";  // appended: GCC 12 warns wrongly (-Wrestrict) about "\"" + ...
            quoted += detail::Excerpt(v);
            return quoted += '"';
        }
        std::string operator()(const WmiArray& v) const {
            // A few elements tell what the array holds; all of them could fill pages.
            constexpr std::size_t kShown = 8;
            std::string out = "[";
            for (std::size_t i = 0; i < v.size() && i < kShown; ++i) {
                if (i) out += ", ";
                out += std::visit(*this, v[i]);
            }
            if (v.size() > kShown) out += ", ... (" + std::to_string(v.size()) + " elements)";
            return out + "]";
        }
    };
    return std::visit(Describer{}, value);
}

bool IsIdentifier(std::u16string_view name) {
    if (name.empty()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c >= 0x80;
        bool digit = c >= u'0' && c <= u'9';
        if (!letter && !(digit && i > 0)) return false;
    }
    return true;
}

}  // namespace hostlens::sim::wmi
