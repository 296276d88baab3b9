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
        if (!registry::CreateKey(path, View::Native))
            return Failure(file, create.line, "the registry refuses the key " + detail::Narrow(path));
        for (const RegValueOperation& value : create.values) {
            if (const auto* set = std::get_if<RegSetValue>(&value)) {
                if (!registry::SetValue(path, set->name, set->type, set->data, View::Native))
                    return Failure(file, set->line, "the registry refuses the value");
            } else {
                registry::DeleteValue(path, std::get<RegDeleteValue>(value).name, View::Native);
            }
        }
        times_[std::move(path)] = create.lastWrite;
    }
    return std::nullopt;
}

void RegistryApplier::Forget(std::u16string_view deletedKey) {
    for (auto it = times_.begin(); it != times_.end();) {
        std::u16string_view path = it->first;
        bool below = path.size() == deletedKey.size() ||
                     (path.size() > deletedKey.size() && path[deletedKey.size()] == u'\\');
        if (below && detail::CompareNoCase(path.substr(0, deletedKey.size()), deletedKey) == 0)
            it = times_.erase(it);
        else
            ++it;
    }
}

void RegistryApplier::Finish(FileTimeTicks clock) {
    if (clock != 0) {
        // Every stored key, the fresh machine's own ones included: the machine was
        // written before its clock starts. Iterative, since a key may be deep.
        std::vector<std::u16string> pending{u"HKEY_LOCAL_MACHINE", u"HKEY_USERS"};
        while (!pending.empty()) {
            std::u16string path = std::move(pending.back());
            pending.pop_back();
            registry::SetLastWriteTime(path, ToFileTime(clock), View::Native);
            if (auto names = registry::SubkeyNames(path, View::Native))
                for (const auto& name : *names) pending.push_back(path + u'\\' + name);
        }
    }
    for (const auto& [path, time] : times_)
        if (time) registry::SetLastWriteTime(path, ToFileTime(*time), View::Native);
}

}  // namespace hostlens::sim::machinedir
