// WMI class files onto the machine's WMI repository.
#include <stdexcept>
#include <variant>

#include "platform/posix/com/sim_wmi.h"
#include "platform/posix/machine/directory/apply.h"
#include "platform/posix/machine/directory/json_text.h"

namespace hostlens::sim::machinedir {
namespace {

// The repository holds CHAR16 as its code, like the unsigned integers.
sim::WmiScalar ToRepository(const WmiScalar& scalar) {
    return std::visit(
        [](const auto& value) -> sim::WmiScalar {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, char16_t>)
                return static_cast<std::uint64_t>(value);
            else
                return value;
        },
        scalar);
}

sim::WmiValue ToRepository(const WmiValue& value) {
    if (const auto* scalar = std::get_if<WmiScalar>(&value))
        return std::visit([](const auto& v) -> sim::WmiValue { return v; }, ToRepository(*scalar));
    if (const auto* array = std::get_if<WmiArray>(&value)) {
        sim::WmiArray out;
        out.reserve(array->size());
        for (const auto& element : *array) out.push_back(ToRepository(element));
        return out;
    }
    return std::monostate{};
}

}  // namespace

std::optional<std::string> ApplyWmiNamespace(std::string_view folderInWmi) {
    std::string where = FileName("wmi/" + std::string(folderInWmi));
    std::u16string ns = json::Utf16(folderInWmi);
    for (char16_t& c : ns)
        if (c == u'/') c = u'\\';
    std::u16string_view first = std::u16string_view(ns).substr(0, ns.find(u'\\'));
    if (detail::CompareNoCase(first, u"root") != 0)
        return where + ": a namespace folder must be below wmi/root";
    try {
        AddWmiNamespace(ns);
    } catch (const std::invalid_argument& e) {
        return where + ": not a WMI namespace: " + e.what();
    }
    return std::nullopt;
}

std::optional<std::string> ApplyWmiClass(const WmiClassFile& classFile, std::string_view file) {
    std::vector<sim::WmiProperty> properties;
    properties.reserve(classFile.properties.size());
    for (const auto& property : classFile.properties)
        properties.push_back(sim::WmiProperty{property.name, static_cast<CimType>(property.cimType)});
    try {
        AddWmiClass(classFile.nameSpace, classFile.className, std::move(properties));
    } catch (const std::invalid_argument& e) {
        return FileName(file) + ": " + e.what();
    }
    for (std::size_t i = 0; i < classFile.instances.size(); ++i) {
        WmiNamedValues values;
        values.reserve(classFile.instances[i].values.size());
        for (const auto& given : classFile.instances[i].values)
            values.emplace_back(classFile.properties[given.property].name, ToRepository(given.value));
        try {
            AddWmiInstance(classFile.nameSpace, classFile.className, values);
        } catch (const std::invalid_argument& e) {
            return FileName(file) + ": " + json::Child("/instances", i) + ": " + e.what();
        }
    }
    return std::nullopt;
}

}  // namespace hostlens::sim::machinedir
