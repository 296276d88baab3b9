// The simulated machine's WMI repository: namespaces, classes with their ordered
// CIM-typed properties, and instances in the order they were added. Names of
// namespaces, classes and properties compare without case, as in WMI.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/posix/com/sim_wmi.h"
#include "platform/posix/machine/machine.h"

namespace hostlens::sim::wmi {

struct NoCaseLess {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const;
};

class ClassDef {
public:
    ClassDef(std::u16string name, std::vector<WmiProperty> properties);

    const std::u16string name;                  // as declared
    const std::vector<WmiProperty> properties;  // in declaration order

    // Index of a property by name without case; nothing when the class lacks it.
    std::optional<std::size_t> FindProperty(std::u16string_view property) const;
    // The first property named like an earlier one, if any.
    std::optional<std::size_t> Repeated() const { return repeated_; }

private:
    // A class may have thousands of properties, and every value of every instance
    // added is looked up by name.
    std::unordered_map<std::u16string, std::size_t, detail::NoCaseHash, detail::NoCaseEqual> byName_;
    std::optional<std::size_t> repeated_;
};

// One instance: a value for every property of its class, in the class's order.
using Instance = std::vector<WmiValue>;

// Thread-safe: writers take the lock exclusively, readers share it.
class Repository {
public:
    Repository();
    ~Repository();
    Repository(const Repository&) = delete;
    Repository& operator=(const Repository&) = delete;

    // The Add functions throw std::invalid_argument with a message that names what is
    // wrong; the repository is left as it was.
    void AddNamespace(std::u16string_view ns);
    void AddClass(std::u16string_view ns, std::u16string_view className, std::vector<WmiProperty> properties);
    void AddInstance(std::u16string_view ns, std::u16string_view className, const WmiNamedValues& values);

    // The namespace's name as declared ("ROOT\CIMV2" for "root/cimv2"); nothing when
    // it does not exist (WBEM_E_INVALID_NAMESPACE at the connect step).
    std::optional<std::u16string> FindNamespace(std::u16string_view ns) const;
    std::optional<ClassDef> FindClass(std::u16string_view ns, std::u16string_view className) const;
    std::vector<std::u16string> ClassNames(std::u16string_view ns) const;  // in declaration order

    // Runs `reader` on a class and its instances under the shared lock.
    enum class Lookup { Found, NoNamespace, NoClass };
    Lookup Read(std::u16string_view ns, std::u16string_view className,
                const std::function<void(const ClassDef&, const std::vector<Instance>&)>& reader) const;

    void Clear();

private:
    struct Class {
        explicit Class(ClassDef definition) : def(std::move(definition)) {}
        ClassDef def;
        std::vector<Instance> instances;
    };
    struct Namespace {
        std::u16string name;
        std::map<std::u16string, std::unique_ptr<Class>, NoCaseLess> classes;
        std::vector<Class*> order;
    };

    Namespace* FindLocked(std::u16string_view ns) const;

    mutable std::shared_mutex mutex_;
    std::map<std::u16string, std::unique_ptr<Namespace>, NoCaseLess> namespaces_;
};

// The machine's repository; a machine reset empties it.
Repository& MachineRepository();

// "root/cimv2" and "root\cimv2" name the same namespace; leading and trailing
// separators are ignored. Nothing when a component is empty or not a WMI name.
std::optional<std::u16string> NormalizeNamespace(std::u16string_view ns);

}  // namespace hostlens::sim::wmi
