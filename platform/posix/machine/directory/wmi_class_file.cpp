#include "platform/posix/machine/directory/wmi_class_file.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "platform/posix/machine/directory/json_text.h"
#include "platform/posix/machine/machine.h"

namespace hostlens::sim::machinedir {
namespace {

using json::Errors;
using json::Value;

struct TypeName {
    std::string_view name;
    std::uint32_t type;
};

constexpr TypeName kTypes[] = {
    {"sint8", cim::kSint8},       {"uint8", cim::kUint8},         {"sint16", cim::kSint16},
    {"uint16", cim::kUint16},     {"sint32", cim::kSint32},       {"uint32", cim::kUint32},
    {"sint64", cim::kSint64},     {"uint64", cim::kUint64},       {"real32", cim::kReal32},
    {"real64", cim::kReal64},     {"boolean", cim::kBoolean},     {"string", cim::kString},
    {"datetime", cim::kDatetime}, {"reference", cim::kReference}, {"char16", cim::kChar16},
};

std::string_view BaseTypeName(std::uint32_t type) {
    for (const TypeName& t : kTypes)
        if (t.type == (type & ~cim::kArrayFlag)) return t.name;
    return "?";
}

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = UpperAscii(c);
    return out;
}

// Property index by upper-cased name: WMI names compare without case, and a class or an
// instance with many members must not cost quadratic time.
using PropertyIndex = std::unordered_map<std::string, std::size_t>;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

// WMI class and property names: a letter or '_' and then letters, digits and '_'.
bool IsIdentifier(std::string_view name) {
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    if (name.empty() || !letter(name[0])) return false;
    return std::all_of(name.begin(), name.end(), [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

// DMTF datetime "yyyymmddHHMMSS.mmmmmmsUUU" (s is + or -) or interval
// "ddddddddHHMMSS.mmmmmm:000"; '*' stands for a field WMI leaves unspecified.
bool IsDmtf(std::string_view text) {
    if (text.size() != 25 || text[14] != '.') return false;
    char sign = text[21];
    if (sign != '+' && sign != '-' && sign != ':') return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 14 || i == 21) continue;
        if ((text[i] < '0' || text[i] > '9') && text[i] != '*') return false;
    }
    return sign != ':' || text.substr(22) == "000";
}

bool Scalar(const Value& v, const std::string& p, std::uint32_t base, Errors& e, WmiScalar& out) {
    auto integer = [&](auto min, auto max, bool allowString) {
        decltype(min) x{};
        if (!json::Integer(v, p, e, x, min, max, allowString)) return false;
        out =
            static_cast<std::conditional_t<std::is_signed_v<decltype(min)>, std::int64_t, std::uint64_t>>(x);
        return true;
    };
    switch (base) {
        case cim::kSint8:
            return integer(std::int8_t{INT8_MIN}, std::int8_t{INT8_MAX}, false);
        case cim::kUint8:
            return integer(std::uint8_t{0}, std::uint8_t{UINT8_MAX}, false);
        case cim::kSint16:
            return integer(std::int16_t{INT16_MIN}, std::int16_t{INT16_MAX}, false);
        case cim::kUint16:
            return integer(std::uint16_t{0}, std::uint16_t{UINT16_MAX}, false);
        case cim::kSint32:
            return integer(std::int32_t{INT32_MIN}, std::int32_t{INT32_MAX}, false);
        case cim::kUint32:
            return integer(std::uint32_t{0}, std::uint32_t{UINT32_MAX}, false);
        case cim::kSint64:
            return integer(std::int64_t{INT64_MIN}, std::int64_t{INT64_MAX}, true);
        case cim::kUint64:
            return integer(std::uint64_t{0}, std::uint64_t{UINT64_MAX}, true);
        case cim::kReal32:
        case cim::kReal64: {
            if (!v.is_number()) return e.Expected(p, "a number", v);
            double d = v.get<double>();
            if (base == cim::kReal32 && std::fabs(d) > FLT_MAX)
                return e.Fail(p, "out of range for real32, got " + json::KindOf(v));
            out = d;
            return true;
        }
        case cim::kBoolean:
            if (!v.is_boolean()) return e.Expected(p, "true or false", v);
            out = v.get<bool>();
            return true;
        case cim::kChar16: {
            if (v.is_string()) {
                std::u16string text = json::Utf16(v.get_ref<const std::string&>());
                if (text.size() != 1) return e.Expected(p, "one UTF-16 character", v);
                out = text[0];
                return true;
            }
            std::uint16_t unit = 0;
            if (!v.is_number()) return e.Expected(p, "one UTF-16 character or its code from 0 to 65535", v);
            if (!json::Integer(v, p, e, unit)) return false;
            out = static_cast<char16_t>(unit);
            return true;
        }
        case cim::kDatetime:
            if (!v.is_string() || !IsDmtf(v.get_ref<const std::string&>()))
                return e.Expected(p, "a DMTF datetime such as \"20240131120000.000000+000\"", v);
            out = json::Utf16(v.get_ref<const std::string&>());
            return true;
        default:  // string, reference
            if (!v.is_string()) return e.Expected(p, "a string", v);
            out = json::Utf16(v.get_ref<const std::string&>());
            return true;
    }
}

bool Property(const Value& v, const std::string& p, Errors& e, WmiClassFile& cls, PropertyIndex& byName) {
    if (!v.is_object()) return e.Expected(p, "an object with \"name\" and \"type\"", v);
    WmiProperty property;
    std::string name;
    bool haveType = false;
    for (const auto& item : v.items()) {
        const std::string& member = item.key();
        const Value& value = item.value();
        std::string child = json::Child(p, member);
        if (member == "name") {
            if (!value.is_string()) return e.Expected(child, "a string", value);
            name = value.get<std::string>();
            if (!IsIdentifier(name))
                return e.Fail(child,
                              "not a property name: expected a letter or '_' then letters, digits or '_'");
            if (!byName.emplace(UpperAscii(name), cls.properties.size()).second)
                return e.Fail(child, "property \"" + detail::Excerpt(name) + "\" is declared twice");
            property.name = json::Utf16(name);
        } else if (member == "type") {
            property.cimType = value.is_string() ? CimTypeFromName(value.get_ref<const std::string&>()) : 0;
            if (property.cimType == 0)
                return e.Expected(child, "a CIM type such as \"uint32\", \"string\" or \"uint16[]\"", value);
            haveType = true;
        } else if (member == "key") {
            if (!value.is_boolean()) return e.Expected(child, "true or false", value);
            property.key = value.get<bool>();
        } else {
            return e.Fail(child, "unknown member");
        }
    }
    if (property.name.empty()) return e.Fail(p, "the property has no \"name\"");
    if (!haveType) return e.Fail(p, "the property has no \"type\"");
    cls.properties.push_back(std::move(property));
    return true;
}

bool Instance(const Value& v, const std::string& p, Errors& e, const WmiClassFile& cls,
              const PropertyIndex& byName, const std::vector<std::size_t>& keys, WmiInstance& instance) {
    if (!v.is_object()) return e.Expected(p, "an object of property values", v);
    std::unordered_set<std::size_t> given;
    for (const auto& item : v.items()) {
        const std::string& member = item.key();
        const Value& value = item.value();
        std::string child = json::Child(p, member);
        auto found = byName.find(UpperAscii(member));
        if (found == byName.end()) return e.Fail(child, "unknown property");
        std::size_t index = found->second;
        if (!given.insert(index).second) return e.Fail(child, "property given twice");
        if (value.is_null()) continue;
        const WmiProperty& property = cls.properties[index];
        std::uint32_t base = property.cimType & ~cim::kArrayFlag;
        if (property.cimType & cim::kArrayFlag) {
            if (!value.is_array())
                return e.Expected(child, "an array of " + std::string(BaseTypeName(base)) + " or null",
                                  value);
            WmiArray items;
            items.reserve(value.size());
            for (std::size_t i = 0; i < value.size(); ++i) {
                std::string element = json::Child(child, i);
                if (value[i].is_null()) return e.Fail(element, "null is not allowed inside an array");
                WmiScalar scalar;
                if (!Scalar(value[i], element, base, e, scalar)) return false;
                items.push_back(std::move(scalar));
            }
            instance.values.push_back(WmiPropertyValue{index, std::move(items)});
        } else {
            WmiScalar scalar;
            if (!Scalar(value, child, base, e, scalar)) return false;
            instance.values.push_back(WmiPropertyValue{index, std::move(scalar)});
        }
    }
    std::sort(instance.values.begin(), instance.values.end(),
              [](const WmiPropertyValue& a, const WmiPropertyValue& b) { return a.property < b.property; });
    for (std::size_t key : keys) {
        if (!instance.Find(key))
            return e.Fail(p,
                          "key property \"" + detail::Excerpt(cls.properties[key].name) + "\" has no value");
    }
    return true;
}

// wmi/root/cimv2/Win32_Foo.json -> namespace root\cimv2, class Win32_Foo.
bool NamesFromPath(std::string_view path, Errors& e, WmiClassFile& cls) {
    constexpr std::string_view kExtension = ".json";
    std::string_view shape =
        "a WMI class file must be wmi/<namespace>/<Class>.json, with the namespace starting at root";
    std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string_view::npos || path.size() < kExtension.size() ||
        !EqualsNoCase(path.substr(path.size() - kExtension.size()), kExtension))
        return e.Fail("", std::string(shape));
    std::string_view name = path.substr(slash + 1, path.size() - kExtension.size() - slash - 1);
    if (!IsIdentifier(name))
        return e.Fail("", "the file name is not a WMI class name: " + std::string(shape));
    std::string_view folders = path.substr(0, slash);
    std::u16string nameSpace;
    while (true) {
        std::size_t end = folders.find_first_of("/\\");
        std::string_view part = folders.substr(0, end);
        if (part.empty() || (nameSpace.empty() && !EqualsNoCase(part, "root")))
            return e.Fail("", std::string(shape));
        if (!nameSpace.empty()) nameSpace += u'\\';
        nameSpace += json::Utf16(part);
        if (end == std::string_view::npos) break;
        folders.remove_prefix(end + 1);
    }
    cls.nameSpace = std::move(nameSpace);
    cls.className = json::Utf16(name);
    return true;
}

}  // namespace

const WmiValue* WmiInstance::Find(std::size_t property) const {
    auto it =
        std::lower_bound(values.begin(), values.end(), property,
                         [](const WmiPropertyValue& v, std::size_t index) { return v.property < index; });
    return it != values.end() && it->property == property ? &it->value : nullptr;
}

std::uint32_t CimTypeFromName(std::string_view name) {
    std::uint32_t flag = 0;
    if (name.size() > 2 && name.substr(name.size() - 2) == "[]") {
        flag = cim::kArrayFlag;
        name.remove_suffix(2);
    }
    for (const TypeName& t : kTypes)
        if (t.name == name) return t.type | flag;
    return 0;
}

ParseResult<WmiClassFile> ParseWmiClassFile(std::string_view text, std::string_view pathInWmi) {
    ParseResult<WmiClassFile> result;
    std::string file = "wmi/" + std::string(pathInWmi);
    Errors errors{file};
    WmiClassFile cls;
    if (!NamesFromPath(pathInWmi, errors, cls)) {
        result.error = std::move(errors.Error());
        return result;
    }
    auto document = json::Parse(text, file);
    if (!document.ok()) {
        result.error = std::move(document.error);
        return result;
    }
    const Value& root = document.value;
    bool ok =
        root.is_object() || errors.Expected("", "an object with \"properties\" and \"instances\"", root);
    for (auto it = root.is_object() ? root.begin() : root.end(); ok && it != root.end(); ++it)
        if (it.key() != "properties" && it.key() != "instances")
            ok = errors.Fail(json::Child("", it.key()), "unknown member");
    // The properties come first whatever the member order: the instances are read against them.
    if (ok && !root.contains("properties")) ok = errors.Fail("", "missing member \"properties\"");
    PropertyIndex byName;
    if (ok) {
        const Value& properties = root["properties"];
        if (!properties.is_array()) ok = errors.Expected("/properties", "an array of properties", properties);
        for (std::size_t i = 0; ok && i < properties.size(); ++i)
            ok = Property(properties[i], json::Child("/properties", i), errors, cls, byName);
    }
    if (ok && root.contains("instances")) {
        std::vector<std::size_t> keys;
        for (std::size_t i = 0; i < cls.properties.size(); ++i)
            if (cls.properties[i].key) keys.push_back(i);
        const Value& instances = root["instances"];
        if (!instances.is_array()) ok = errors.Expected("/instances", "an array of instances", instances);
        for (std::size_t i = 0; ok && i < instances.size(); ++i) {
            WmiInstance instance;
            ok = Instance(instances[i], json::Child("/instances", i), errors, cls, byName, keys, instance);
            if (ok) cls.instances.push_back(std::move(instance));
        }
    }
    if (!ok) {
        result.error = std::move(errors.Error());
        return result;
    }
    result.value = std::move(cls);
    return result;
}

}  // namespace hostlens::sim::machinedir
