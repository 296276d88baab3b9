// Loading a machine directory. Every file is read and parsed before anything is
// applied, so a malformed file is reported before the machine changes; a failure
// while applying (a refusal of the registry or the WMI repository) resets it empty.
#include "platform/posix/machine/directory/load.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/posix/registry/registry_store.h"
#include "platform/posix/machine/directory/apply.h"
#include "platform/posix/machine/directory/read_file.h"

namespace hostlens::sim {
namespace {

namespace fs = std::filesystem;
using machinedir::MachineDescription;
using machinedir::RegOperation;
using machinedir::WmiClassFile;

struct RegistryFile {
    std::string name;  // "registry/10-software.reg"
    std::vector<RegOperation> operations;
};

struct ClassFile {
    std::string name;  // "wmi/root/cimv2/Win32_BIOS.json"
    WmiClassFile parsed;
};

struct ParsedMachine {
    std::optional<MachineDescription> facts;
    std::vector<RegistryFile> registry;   // in the order they apply
    std::vector<std::string> namespaces;  // folders below wmi/, parents first
    std::vector<ClassFile> classes;
};

std::string CannotRead(const std::string& name, const std::string& reason) {
    return machinedir::FileName(name) + ": cannot read the file: " + reason;
}

// Reads and parses one file with `parse(text)`; every failure, running out of memory
// on a huge file included, names the file.
template <class Parse>
std::optional<std::string> ReadAndParse(const fs::path& path, const std::string& name, Parse parse) {
    try {
        std::string text;
        if (auto reason = machinedir::ReadMachineFile(path, text)) return CannotRead(name, *reason);
        return parse(text);
    } catch (const std::bad_alloc&) {
        return machinedir::FileName(name) + ": not enough memory to load the file";
    } catch (const std::exception& e) {
        return machinedir::FileName(name) + ": " + e.what();
    }
}

// Capture tools on Windows may write ".REG" or ".Json": extensions compare without case.
bool HasExtension(const fs::path& path, std::string_view extension) {
    std::string actual = path.extension().string();
    if (actual.size() != extension.size()) return false;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        char c = actual[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != extension[i]) return false;
    }
    return true;
}

// Folders the format reserves may be missing, but not be something else.
std::optional<std::string> ExpectFolder(const fs::path& path, const std::string& name, bool& present) {
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    present = fs::is_directory(status);
    if (!fs::exists(status) || present) return std::nullopt;
    return name + ": not a folder";
}

std::optional<std::string> ParseFacts(const fs::path& dir, ParsedMachine& machine) {
    fs::path path = dir / "machine.json";
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) return std::nullopt;
    return ReadAndParse(path, "machine.json", [&](const std::string& text) -> std::optional<std::string> {
        auto parsed = machinedir::ParseMachineJson(text, "machine.json");
        if (!parsed.ok()) return parsed.error->Message();
        machine.facts = std::move(parsed.value);
        return std::nullopt;
    });
}

std::optional<std::string> ParseRegistry(const fs::path& dir, ParsedMachine& machine) {
    fs::path folder = dir / "registry";
    bool present = false;
    if (auto error = ExpectFolder(folder, "registry", present)) return error;
    if (!present) return std::nullopt;
    std::vector<std::string> names;
    std::error_code ec;
    std::error_code ignored;  // an entry that cannot be examined is reported when it is read
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (HasExtension(it->path(), ".reg") && !it->is_directory(ignored))
            names.push_back(it->path().filename().string());
    if (ec) return "registry: cannot list the folder: " + ec.message();
    // Byte order, whatever the host's locale: the order a directory states must not
    // depend on where it is loaded.
    std::sort(names.begin(), names.end());
    for (const std::string& fileName : names) {
        std::string name = "registry/" + fileName;
        auto error = ReadAndParse(folder / fileName, name,
                                  [&](const std::string& bytes) -> std::optional<std::string> {
                                      auto parsed = machinedir::ParseRegFile(std::string_view(bytes), name);
                                      if (!parsed.ok()) return parsed.error->Message();
                                      machine.registry.push_back(RegistryFile{name, std::move(parsed.value)});
                                      return std::nullopt;
                                  });
        if (error) return error;
    }
    return std::nullopt;
}

std::optional<std::string> ParseWmi(const fs::path& dir, ParsedMachine& machine) {
    fs::path folder = dir / "wmi";
    bool present = false;
    if (auto error = ExpectFolder(folder, "wmi", present)) return error;
    if (!present) return std::nullopt;
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        // Hidden entries (".keep", an editor's ".swp") are not part of the machine.
        if (it->path().filename().string().starts_with('.')) {
            it.disable_recursion_pending();
            continue;
        }
        std::string relative = it->path().lexically_relative(folder).generic_string();
        std::error_code ignored;  // an entry that cannot be examined is reported when it is read
        if (it->is_directory(ignored))
            machine.namespaces.push_back(relative);
        else if (HasExtension(it->path(), ".json"))
            files.push_back(relative);
    }
    if (ec) return "wmi: cannot list the folder: " + ec.message();
    std::sort(machine.namespaces.begin(), machine.namespaces.end());
    std::sort(files.begin(), files.end());
    // "namespace\class" -> its place in machine.classes
    std::unordered_map<std::u16string, std::size_t, detail::NoCaseHash, detail::NoCaseEqual> classes;
    for (const std::string& relative : files) {
        std::string name = "wmi/" + relative;
        auto error =
            ReadAndParse(folder / relative, name, [&](const std::string& text) -> std::optional<std::string> {
                auto parsed = machinedir::ParseWmiClassFile(text, relative);
                if (!parsed.ok()) return parsed.error->Message();
                // Folders differing only in case are one namespace to WMI: a class in both
                // would silently merge two files' instances.
                auto given = classes.emplace(parsed.value.nameSpace + u'\\' + parsed.value.className,
                                             machine.classes.size());
                if (!given.second)
                    return machinedir::FileName(name) + ": the class is already given by " +
                           machinedir::FileName(machine.classes[given.first->second].name);
                machine.classes.push_back(ClassFile{name, std::move(parsed.value)});
                return std::nullopt;
            });
        if (error) return error;
    }
    return std::nullopt;
}

std::optional<std::string> Apply(const fs::path& dir, const ParsedMachine& machine) {
    std::error_code ec;
    fs::path driveC = dir / "drive_c";
    // Absolute, so that the machine keeps its drive when the process changes folder.
    ResetMachine(fs::is_directory(driveC, ec) ? fs::absolute(driveC, ec) : fs::path());
    Facts& facts = MachineFacts();
    if (machine.facts) {
        machinedir::ApplyFacts(*machine.facts, facts);
        for (const auto& [module, functions] : machine.facts->missingExports)
            for (const std::string& function : functions) HideSystemExport(module, function);
    }

    // A 64-bit machine has the 32-bit view's WOW6432Node with its Classes before an
    // export adds to it; the first look through the 32-bit view makes them.
    if (facts.native64) registry::KeyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE", registry::View::Bits32);
    machinedir::RegistryApplier registry;
    for (const RegistryFile& file : machine.registry)
        if (auto error = registry.Apply(file.operations, file.name)) return error->Message();
    registry.Finish(facts.clock);

    for (const std::string& folder : machine.namespaces)
        if (auto error = machinedir::ApplyWmiNamespace(folder)) return error;
    for (const ClassFile& file : machine.classes)
        if (auto error = machinedir::ApplyWmiClass(file.parsed, file.name)) return error;
    return std::nullopt;
}

std::optional<std::string> Read(const fs::path& dir, ParsedMachine& machine) {
    std::error_code ec;
    fs::file_status status = fs::status(dir, ec);
    if (!fs::exists(status)) return dir.string() + ": no such folder";
    if (!fs::is_directory(status)) return dir.string() + ": not a folder";
    if (auto error = ParseFacts(dir, machine)) return error;
    if (auto error = ParseRegistry(dir, machine)) return error;
    return ParseWmi(dir, machine);
}

// Runs `step`; an exception (out of memory, or a file system that fails under the
// iterators) becomes a message about `dir`.
template <class Step>
std::optional<std::string> Guarded(const fs::path& dir, Step step) {
    try {
        return step();
    } catch (const std::exception& e) {
        return dir.string() + ": " + e.what();
    }
}

}  // namespace

struct MachineImage {
    fs::path dir;
    ParsedMachine machine;
};

std::optional<std::string> LoadMachineDirectory(const fs::path& dir) {
    std::optional<std::string> error = Guarded(dir, [&]() -> std::optional<std::string> {
        ParsedMachine machine;
        if (auto error = Read(dir, machine)) return error;
        return Apply(dir, machine);
    });
    if (error) ResetMachine();
    return error;
}

std::shared_ptr<const MachineImage> ReadMachineDirectory(const fs::path& dir, std::string& error) {
    auto image = std::make_shared<MachineImage>();
    image->dir = dir;
    if (auto failure = Guarded(dir, [&] { return Read(dir, image->machine); })) {
        error = *failure;
        return nullptr;
    }
    return image;
}

std::optional<std::string> ApplyMachineImage(const MachineImage& image) {
    std::optional<std::string> error = Guarded(image.dir, [&] { return Apply(image.dir, image.machine); });
    if (error) ResetMachine();
    return error;
}

}  // namespace hostlens::sim
