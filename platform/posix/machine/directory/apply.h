// Applying what the machine-directory parsers read to the simulated machine: facts to
// sim::Facts, registry operations to the registry store, WMI class files to the WMI
// repository. The loader (load.cpp) parses every file first and applies afterwards,
// so a malformed file is found before anything is applied.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/machine/machine.h"
#include "platform/posix/machine/directory/machine_json.h"
#include "platform/posix/machine/directory/reg_file.h"
#include "platform/posix/machine/directory/wmi_class_file.h"

namespace hostlens::sim::machinedir {

// Sets the facts that machine.json gives; the others keep their values. Computer
// names left out follow from those given (the NetBIOS name from the DNS host name,
// the fully qualified name from host and domain, a physical name from its logical one).
void ApplyFacts(const MachineDescription& description, Facts& facts);

// Applies registry files in order, then gives the keys their last-write times.
class RegistryApplier {
public:
    // Applies one file's operations in order. An operation the registry refuses is
    // reported with the file's name and the operation's line.
    std::optional<ParseError> Apply(const std::vector<RegOperation>& operations, std::string_view file);

    // Every key gets `clock` (0: the keys keep the host time they were written at),
    // then each key its own ";@LastWrite=" time. This is done once at the end because
    // creating a subkey touches its parent: an export lists a key before its subkeys,
    // and the parent's recorded time must survive them.
    void Finish(FileTimeTicks clock);

private:
    struct NoCaseLess {
        bool operator()(const std::u16string& a, const std::u16string& b) const {
            return detail::CompareNoCase(a, b) < 0;
        }
    };
    // Key path as the registry store names it -> the time its latest section recorded.
    // A key whose latest section recorded none is not here (it gets the clock), so
    // that a plain export, which records no times, costs nothing here.
    std::map<std::u16string, FileTimeTicks, NoCaseLess> times_;

    void Forget(std::u16string_view deletedKey);
};

// Declares the namespace of a folder below wmi/ ("root/cimv2" -> ROOT\cimv2); the
// message names the folder when it is not a namespace.
std::optional<std::string> ApplyWmiNamespace(std::string_view folderInWmi);

// Declares the class and adds its instances; the message names the file (and the
// instance) when the repository refuses them.
std::optional<std::string> ApplyWmiClass(const WmiClassFile& classFile, std::string_view file);

}  // namespace hostlens::sim::machinedir
