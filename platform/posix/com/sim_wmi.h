// The simulated machine's WMI repository, test interface (Linux only): tests and the
// machine-directory loader declare namespaces, classes and instances here; the
// emulated WMI services answer WQL queries from them.
//
//     sim::DefineWmiClass(u"ROOT\\CIMV2", u"Win32_Processor",
//                         {{u"Name", sim::cim::String}, {u"NumberOfCores", sim::cim::UInt32}})
//         .Instance({{u"Name", u"CPU0"}, {u"NumberOfCores", 4}});
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace hostlens::sim {

// CIM type codes as WMI numbers them (the VARIANT type of the same number carries the
// value, except that 64-bit integers travel as strings and CHAR16 as VT_I2).
using CimType = std::uint16_t;
namespace cim {
inline constexpr CimType SInt8 = 16;
inline constexpr CimType UInt8 = 17;
inline constexpr CimType SInt16 = 2;
inline constexpr CimType UInt16 = 18;
inline constexpr CimType SInt32 = 3;
inline constexpr CimType UInt32 = 19;
inline constexpr CimType SInt64 = 20;
inline constexpr CimType UInt64 = 21;
inline constexpr CimType Real32 = 4;
inline constexpr CimType Real64 = 5;
inline constexpr CimType Boolean = 11;
inline constexpr CimType String = 8;
inline constexpr CimType DateTime = 101;
inline constexpr CimType Reference = 102;
inline constexpr CimType Char16 = 103;
inline constexpr CimType Object = 13;
inline constexpr CimType Array = 0x2000;  // combined with an element type
}  // namespace cim

struct WmiProperty {
    std::u16string name;
    CimType type = cim::String;
    bool operator==(const WmiProperty&) const = default;
};

// A property value. Null is std::monostate. The repository stores signed integer
// types as int64, unsigned ones and CHAR16 as uint64, reals as double (REAL32 rounded
// to float precision), strings, dates and references as text.
using WmiScalar = std::variant<std::int64_t, std::uint64_t, double, bool, std::u16string>;
using WmiArray = std::vector<WmiScalar>;
using WmiValue =
    std::variant<std::monostate, std::int64_t, std::uint64_t, double, bool, std::u16string, WmiArray>;
using WmiNamedValues = std::vector<std::pair<std::u16string, WmiValue>>;

// Adds a namespace such as "ROOT\CIMV2" (and the namespaces above it); names compare
// without case, '/' may stand for '\'. Throws std::invalid_argument on a bad name.
void AddWmiNamespace(std::u16string_view ns);
// Declares a class with its properties in order; creates the namespace if needed.
// Throws std::invalid_argument on a bad or duplicate name, or a clash with an
// existing class of the same name and other properties.
void AddWmiClass(std::u16string_view ns, std::u16string_view className, std::vector<WmiProperty> properties);
// Appends an instance; properties left out are null. Throws std::invalid_argument
// naming the property when a name is unknown or a value does not fit its CIM type.
void AddWmiInstance(std::u16string_view ns, std::u16string_view className, const WmiNamedValues& values);

// A declared class, to add instances in a chain.
class WmiClass {
public:
    WmiClass(std::u16string ns, std::u16string className)
        : ns_(std::move(ns)), className_(std::move(className)) {}
    const WmiClass& Instance(const WmiNamedValues& values) const {
        AddWmiInstance(ns_, className_, values);
        return *this;
    }

private:
    std::u16string ns_;
    std::u16string className_;
};
WmiClass DefineWmiClass(std::u16string_view ns, std::u16string_view className,
                        std::vector<WmiProperty> properties);

}  // namespace hostlens::sim

namespace hostlens::sim {

// Every ExecQuery over `className` (any namespace, compared without case) fails with
// `error` until the machine is reset, as when the class's provider is broken. A query
// that WMI rejects for another reason (syntax, unknown class) still gives that reason.
void FailQuery(std::u16string_view className, std::int32_t error);

// The ExecQuery calls since StartWmiQueryLog, in the order they were made (from every
// thread): the namespace as declared, the WQL text and the HRESULT the call returned.
struct WmiQueryRecord {
    std::u16string ns;
    std::u16string wql;
    std::int32_t result = 0;
    bool operator==(const WmiQueryRecord&) const = default;
};
// Starts recording, forgetting what was recorded before; a reset stops it.
void StartWmiQueryLog();
std::vector<WmiQueryRecord> TakeWmiQueryLog();

}  // namespace hostlens::sim
