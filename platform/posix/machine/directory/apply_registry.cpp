// Registry exports onto the registry store, in the view they were exported from: the
// paths name the stored keys, SOFTWARE\WOW6432Node included.
#include <utility>

#include "platform/posix/registry/registry_store.h"
#include "platform/posix/machine/directory/apply.h"

namespace hostlens::sim::machinedir {
namespace {

using registry::View;

// The store's name of an exported key. HKEY_CLASSES_ROOT is written out as the key it
// stands for, so that its keys and HKLM\SOFTWARE\Classes share one last-write record;
// HKEY_CURRENT_CONFIG is the current hardware profile, a key the store does not alias.
std::u16string StorePath(const RegKeyPath& key) {
    std::u16string path;
    switch (key.root) {
        case RegRoot::ClassesRoot:
            path = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
            break;
        case RegRoot::CurrentConfig:
            path = u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current";
            break;
        default:
            path = std::u16string(RegRootName(key.root));
            break;
    }
    if (!key.subkey.empty()) path += u'\\' + key.subkey;
    return path;
}

ParseError Failure(std::string_view file, std::size_t line, std::string reason) {
    ParseError error;
    error.file = std::string(file);
    error.line = line;
    error.reason = std::move(reason);
    return error;
}

FILETIME ToFileTime(FileTimeTicks ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace

std::optional<ParseError> RegistryApplier::Apply(const std::vector<RegOperation>& operations,
                                                 std::string_view file) {
    std::vector<registry::ValueEdit> edits;
    for (const RegOperation& operation : operations) {
        if (const auto* remove = std::get_if<RegDeleteKey>(&operation)) {
            if (remove->key.subkey.empty())
                return Failure(file, remove->line, "a root key cannot be deleted");
            std::u16string path = StorePath(remove->key);
            registry::DeleteTree(path, View::Native);  // nothing to do when it does not exist
            Forget(path);
            continue;
        }
        const auto& create = std::get<RegCreateKey>(operation);
        std::u16string path = StorePath(create.key);
        edits.clear();
        for (const RegValueOperation& value : create.values) {
            if (const auto* set = std::get_if<RegSetValue>(&value))
                edits.push_back(registry::ValueEdit{set->name, false, set->type, set->data});
            else
                edits.push_back(registry::ValueEdit{std::get<RegDeleteValue>(value).name, true, 0, {}});
        }
        if (!registry::EditKey(path, edits, View::Native))
            return Failure(file, create.line, "the registry refuses the key " + detail::Excerpt(path));
        if (create.lastWrite)
            times_[std::move(path)] = *create.lastWrite;
        else
            times_.erase(path);
    }
    return std::nullopt;
}

void RegistryApplier::Forget(std::u16string_view deletedKey) {
    times_.erase(std::u16string(deletedKey));
    // The keys below it sort together, right after the key's name and a backslash.
    std::u16string below = std::u16string(deletedKey) + u'\\';
    auto first = times_.lower_bound(below);
    auto last = first;
    while (last != times_.end() && last->first.size() >= below.size() &&
           detail::CompareNoCase(std::u16string_view(last->first).substr(0, below.size()), below) == 0)
        ++last;
    times_.erase(first, last);
}

void RegistryApplier::Finish(FileTimeTicks clock) {
    // Every stored key, the fresh machine's own ones included: the machine was
    // written before its clock starts.
    if (clock != 0) registry::SetEveryLastWriteTime(ToFileTime(clock));
    for (const auto& [path, time] : times_) registry::SetLastWriteTime(path, ToFileTime(time), View::Native);
}

}  // namespace hostlens::sim::machinedir
