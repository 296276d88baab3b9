// Reads one WMI class file of a machine directory, wmi/<namespace>/<Class>.json: the
// class's properties with their CIM types and its instances in order, each value
// checked against its property's type. docs/machine-directory.md describes the format.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/posix/machine/directory/parse_error.h"

namespace hostlens::sim::machinedir {

// CIM type codes as WMI numbers them (CIMTYPE_ENUMERATION); arrays add kCimArrayFlag.
namespace cim {
constexpr std::uint32_t kSint8 = 16;
constexpr std::uint32_t kUint8 = 17;
constexpr std::uint32_t kSint16 = 2;
constexpr std::uint32_t kUint16 = 18;
constexpr std::uint32_t kSint32 = 3;
constexpr std::uint32_t kUint32 = 19;
constexpr std::uint32_t kSint64 = 20;
constexpr std::uint32_t kUint64 = 21;
constexpr std::uint32_t kReal32 = 4;
constexpr std::uint32_t kReal64 = 5;
constexpr std::uint32_t kBoolean = 11;
constexpr std::uint32_t kString = 8;
constexpr std::uint32_t kDatetime = 101;
constexpr std::uint32_t kReference = 102;
constexpr std::uint32_t kChar16 = 103;
constexpr std::uint32_t kArrayFlag = 0x2000;
}  // namespace cim

struct WmiProperty {
    std::u16string name;
    std::uint32_t cimType = 0;  // cim::k*, with cim::kArrayFlag for arrays
    bool key = false;           // part of the instances' paths (the [key] qualifier)
};

// One value of a property's base type:
//   sint8..sint64 -> std::int64_t     uint8..uint64 -> std::uint64_t
//   real32, real64 -> double          boolean -> bool      char16 -> char16_t
//   string, datetime (DMTF text), reference (object path) -> std::u16string
using WmiScalar = std::variant<bool, std::int64_t, std::uint64_t, double, char16_t, std::u16string>;
using WmiArray = std::vector<WmiScalar>;
// NULL (std::monostate), a scalar for scalar properties, an array for array properties.
using WmiValue = std::variant<std::monostate, WmiScalar, WmiArray>;

struct WmiPropertyValue {
    std::size_t property = 0;  // index into WmiClassFile::properties
    WmiValue value;            // never NULL here
};

struct WmiInstance {
    // The values the file gives, by property index ascending; a property not listed is
    // NULL. Only what is given is held, so many small instances of a wide class stay small.
    std::vector<WmiPropertyValue> values;

    // The value of a property, or nullptr for NULL.
    const WmiValue* Find(std::size_t property) const;
};

struct WmiClassFile {
    std::u16string nameSpace;  // "root\cimv2", from the folders below wmi/
    std::u16string className;  // "Win32_OperatingSystem", from the file name
    std::vector<WmiProperty> properties;
    std::vector<WmiInstance> instances;  // in file order
};

// `pathInWmi` is the file's path below the wmi folder with '/' between folders
// ("root/cimv2/Win32_OperatingSystem.json"); errors name the file "wmi/<pathInWmi>".
ParseResult<WmiClassFile> ParseWmiClassFile(std::string_view text, std::string_view pathInWmi);

// "uint32" -> cim::kUint32, "string[]" -> cim::kString | cim::kArrayFlag; 0 when unknown.
std::uint32_t CimTypeFromName(std::string_view name);

}  // namespace hostlens::sim::machinedir
