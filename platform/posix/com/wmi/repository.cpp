#include "platform/posix/com/wmi/repository.h"

#include <mutex>
#include <stdexcept>

#include "platform/posix/machine/machine.h"
#include "platform/posix/com/wmi/cim.h"

namespace hostlens::sim::wmi {
namespace {

std::string Quote(std::u16string_view name) {
    // Appended, not "\"" + ... + "\"": GCC 12 warns wrongly (-Wrestrict) about that in release builds.
    std::string quoted = "\"";
    quoted += detail::Excerpt(name);
    quoted += '"';
    return quoted;
}

}  // namespace

bool NoCaseLess::operator()(std::u16string_view a, std::u16string_view b) const {
    return detail::CompareNoCase(a, b) < 0;
}

ClassDef::ClassDef(std::u16string className, std::vector<WmiProperty> declared)
    : name(std::move(className)), properties(std::move(declared)) {
    byName_.reserve(properties.size());
    for (std::size_t i = 0; i < properties.size(); ++i)
        if (!byName_.emplace(properties[i].name, i).second && !repeated_) repeated_ = i;
}

std::optional<std::size_t> ClassDef::FindProperty(std::u16string_view property) const {
    auto it = byName_.find(property);
    if (it == byName_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::u16string> NormalizeNamespace(std::u16string_view ns) {
    while (!ns.empty() && (ns.front() == u'\\' || ns.front() == u'/')) ns.remove_prefix(1);
    while (!ns.empty() && (ns.back() == u'\\' || ns.back() == u'/')) ns.remove_suffix(1);
    if (ns.empty()) return std::nullopt;
    std::u16string out;
    std::size_t start = 0;
    while (start <= ns.size()) {
        std::size_t end = ns.find_first_of(u"\\/", start);
        if (end == std::u16string_view::npos) end = ns.size();
        std::u16string_view component = ns.substr(start, end - start);
        // Unlike class names, a namespace component may begin with a digit.
        bool valid = !component.empty();
        for (char16_t c : component)
            valid = valid && ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                              (c >= u'0' && c <= u'9') || c == u'_' || c >= 0x80);
        if (!valid) return std::nullopt;
        if (!out.empty()) out += u'\\';
        out += component;
        start = end + 1;
    }
    return out;
}

Repository::Repository() = default;
Repository::~Repository() = default;

Repository::Namespace* Repository::FindLocked(std::u16string_view ns) const {
    auto name = NormalizeNamespace(ns);
    if (!name) return nullptr;
    auto it = namespaces_.find(*name);
    return it == namespaces_.end() ? nullptr : it->second.get();
}

void Repository::AddNamespace(std::u16string_view ns) {
    auto name = NormalizeNamespace(ns);
    if (!name) throw std::invalid_argument("namespace " + Quote(ns) + " is not a valid WMI namespace name");
    if (detail::CompareNoCase(name->substr(0, name->find(u'\\')), u"root") != 0)
        throw std::invalid_argument("namespace " + Quote(ns) + " is not below ROOT");
    std::unique_lock lock(mutex_);
    // Every namespace above it exists too, as in WMI.
    std::size_t end = 0;
    while (end != std::u16string::npos) {
        end = name->find(u'\\', end + 1);
        std::u16string prefix = name->substr(0, end);
        if (namespaces_.find(prefix) == namespaces_.end()) {
            auto created = std::make_unique<Namespace>();
            created->name = prefix;
            namespaces_.emplace(prefix, std::move(created));
        }
    }
}

void Repository::AddClass(std::u16string_view ns, std::u16string_view className,
                          std::vector<WmiProperty> properties) {
    if (!IsIdentifier(className))
        throw std::invalid_argument("class name " + Quote(className) + " is not valid");
    ClassDef def{std::u16string(className), std::move(properties)};
    for (std::size_t i = 0; i < def.properties.size(); ++i) {
        const WmiProperty& property = def.properties[i];
        std::string where = "class " + Quote(className) + ", property " + Quote(property.name);
        if (!IsIdentifier(property.name)) throw std::invalid_argument(where + ": not a valid property name");
        if (!IsKnownCimType(property.type))
            throw std::invalid_argument(where + ": unknown CIM type " + std::to_string(property.type));
        if (def.Repeated() == i) throw std::invalid_argument(where + ": declared twice");
    }
    std::unique_lock lock(mutex_);
    Namespace* space = FindLocked(ns);
    if (!space) throw std::invalid_argument("namespace " + Quote(ns) + " does not exist");
    auto it = space->classes.find(className);
    if (it != space->classes.end()) {
        // Declaring the same class again is harmless; a different shape is a conflict.
        const ClassDef& existing = it->second->def;
        bool same = existing.properties.size() == def.properties.size();
        for (std::size_t i = 0; same && i < def.properties.size(); ++i)
            same = detail::CompareNoCase(existing.properties[i].name, def.properties[i].name) == 0 &&
                   existing.properties[i].type == def.properties[i].type;
        if (!same)
            throw std::invalid_argument("class " + Quote(className) + " already exists in " +
                                        Quote(space->name) + " with other properties");
        return;
    }
    auto created = std::make_unique<Class>(std::move(def));
    space->order.push_back(created.get());
    space->classes.emplace(std::u16string(className), std::move(created));
}

void Repository::AddInstance(std::u16string_view ns, std::u16string_view className,
                             const WmiNamedValues& values) {
    std::unique_lock lock(mutex_);
    Namespace* space = FindLocked(ns);
    if (!space) throw std::invalid_argument("namespace " + Quote(ns) + " does not exist");
    auto it = space->classes.find(className);
    if (it == space->classes.end())
        throw std::invalid_argument("class " + Quote(className) + " does not exist in " + Quote(space->name));
    Class& cls = *it->second;
    Instance instance(cls.def.properties.size());
    std::vector<bool> seen(instance.size(), false);
    for (const auto& named : values) {
        // Plain references, not structured bindings: clang 14 cannot capture those in a lambda.
        const std::u16string& name = named.first;
        const WmiValue& value = named.second;
        // Built only for a message: loading many instances must not pay for it.
        auto where = [&] { return "class " + Quote(cls.def.name) + ", property " + Quote(name); };
        auto index = cls.def.FindProperty(name);
        if (!index) throw std::invalid_argument(where() + ": no such property");
        if (seen[*index]) throw std::invalid_argument(where() + ": given twice");
        seen[*index] = true;
        try {
            instance[*index] = ToCimValue(cls.def.properties[*index].type, value);
        } catch (const std::invalid_argument& e) {
            throw std::invalid_argument(where() + ": " + e.what());
        }
    }
    cls.instances.push_back(std::move(instance));
}

std::optional<std::u16string> Repository::FindNamespace(std::u16string_view ns) const {
    std::shared_lock lock(mutex_);
    const Namespace* space = FindLocked(ns);
    if (!space) return std::nullopt;
    return space->name;
}

std::optional<ClassDef> Repository::FindClass(std::u16string_view ns, std::u16string_view className) const {
    std::shared_lock lock(mutex_);
    const Namespace* space = FindLocked(ns);
    if (!space) return std::nullopt;
    auto it = space->classes.find(className);
    if (it == space->classes.end()) return std::nullopt;
    return it->second->def;
}

std::vector<std::u16string> Repository::ClassNames(std::u16string_view ns) const {
    std::shared_lock lock(mutex_);
    std::vector<std::u16string> names;
    if (const Namespace* space = FindLocked(ns))
        for (const Class* cls : space->order) names.push_back(cls->def.name);
    return names;
}

Repository::Lookup Repository::Read(
    std::u16string_view ns, std::u16string_view className,
    const std::function<void(const ClassDef&, const std::vector<Instance>&)>& reader) const {
    std::shared_lock lock(mutex_);
    const Namespace* space = FindLocked(ns);
    if (!space) return Lookup::NoNamespace;
    auto it = space->classes.find(className);
    if (it == space->classes.end()) return Lookup::NoClass;
    reader(it->second->def, it->second->instances);
    return Lookup::Found;
}

void Repository::Clear() {
    std::unique_lock lock(mutex_);
    namespaces_.clear();
}

Repository& MachineRepository() {
    // Never destroyed, like the rest of the machine: emulated calls may still run
    // during static teardown.
    static Repository* repository = [] {
        auto* created = new Repository;
        detail::OnReset([created] { created->Clear(); });
        return created;
    }();
    return *repository;
}

}  // namespace hostlens::sim::wmi
