#include "platform/posix/registry/registry_store.h"

#include <array>

#include "platform/posix/machine/machine.h"
#include "platform/posix/registry/registry_tree.h"

namespace hostlens::sim::registry {
namespace {

using tree::Root;

struct RootName {
    std::u16string_view name;
    Root root;
};
constexpr std::array<RootName, 8> kRootNames{{
    {u"HKEY_LOCAL_MACHINE", Root::LocalMachine},
    {u"HKLM", Root::LocalMachine},
    {u"HKEY_USERS", Root::Users},
    {u"HKU", Root::Users},
    {u"HKEY_CLASSES_ROOT", Root::ClassesRoot},
    {u"HKCR", Root::ClassesRoot},
    {u"HKEY_CURRENT_USER", Root::CurrentUser},
    {u"HKCU", Root::CurrentUser},
}};

// Finds the key a full path names; `create` makes the missing ones.
tree::Walk Locate(tree::State& state, std::u16string_view path, View view, bool create) {
    tree::Walk failed;
    failed.status = ERROR_FILE_NOT_FOUND;
    std::size_t end = path.find(u'\\');
    std::u16string_view rootName = path.substr(0, end);
    std::u16string_view rest =
        end == std::u16string_view::npos ? std::u16string_view{} : path.substr(end + 1);
    const RootName* root = nullptr;
    for (const auto& candidate : kRootNames)
        if (detail::CompareNoCase(candidate.name, rootName) == 0) root = &candidate;
    if (!root) return failed;
    while (!rest.empty() && rest.front() == u'\\') rest.remove_prefix(1);

    tree::Base base = tree::RootBase(state, root->root);
    std::vector<std::u16string_view> components(base.prefix.begin(), base.prefix.end());
    if (tree::SplitPath(rest, components) != ERROR_SUCCESS) return failed;
    return tree::Follow(state, base.start, components, view, create);
}

}  // namespace

bool CreateKey(std::u16string_view path, View view) {
    auto [lock, state] = tree::Lock();
    return Locate(state, path, view, true).status == ERROR_SUCCESS;
}

bool KeyExists(std::u16string_view path, View view) {
    auto [lock, state] = tree::Lock();
    return Locate(state, path, view, false).status == ERROR_SUCCESS;
}

bool DeleteTree(std::u16string_view path, View view) {
    auto [lock, state] = tree::Lock();
    tree::Walk walk = Locate(state, path, view, false);
    if (walk.status != ERROR_SUCCESS) return false;
    if (walk.parent)
        tree::DeleteSubtree(state, *walk.parent, walk.node);
    else
        tree::ClearKey(state, *walk.node);
    return true;
}

bool SetValue(std::u16string_view path, std::u16string_view name, std::uint32_t type,
              std::span<const std::uint8_t> data, View view) {
    auto [lock, state] = tree::Lock();
    tree::Walk walk = Locate(state, path, view, true);
    if (walk.status != ERROR_SUCCESS) return false;
    tree::SetValue(state, *walk.node, name, type, std::vector<std::uint8_t>(data.begin(), data.end()));
    return true;
}

bool EditKey(std::u16string_view path, std::span<const ValueEdit> edits, View view) {
    auto [lock, state] = tree::Lock();
    tree::Walk walk = Locate(state, path, view, true);
    if (walk.status != ERROR_SUCCESS) return false;
    tree::Node& node = *walk.node;
    for (const ValueEdit& edit : edits) {
        if (!edit.remove)
            tree::SetValue(state, node, edit.name, edit.type,
                           std::vector<std::uint8_t>(edit.data.begin(), edit.data.end()));
        else if (node.values.Erase(edit.name))
            node.lastWrite = tree::Now();
    }
    return true;
}

bool DeleteValue(std::u16string_view path, std::u16string_view name, View view) {
    auto [lock, state] = tree::Lock();
    tree::Walk walk = Locate(state, path, view, false);
    if (walk.status != ERROR_SUCCESS || !walk.node->values.Erase(name)) return false;
    walk.node->lastWrite = tree::Now();
    return true;
}

std::optional<ValueData> GetValue(std::u16string_view path, std::u16string_view name, View view) {
    auto [lock, state] = tree::Lock();
    tree::Walk walk = Locate(state, path, view, false);
    if (walk.status != ERROR_SUCCESS) return std::nullopt;
    const tree::Value* value = walk.node->FindValue(name);
    if (!value) return std::nullopt;
    return ValueData{value->name, value->type, value->data};
}

std::optional<std::vector<ValueData>> Values(std::u16string_view path, View view) {
    auto [lock, state] = tree::Lock();
    tree::Walk walk = Locate(state, path, view, false);
    if (walk.status != ERROR_SUCCESS) return std::nullopt;
    std::vector<ValueData> values;
    for (const auto& value : walk.node->values.All())
        values.push_back(ValueData{value.name, value.type, value.data});
    return values;
}

std::optional<std::vector<std::u16string>> SubkeyNames(std::u16string_view path, View view) {
    auto [lock, state] = tree::Lock();
    tree::Walk walk = Locate(state, path, view, false);
    if (walk.status != ERROR_SUCCESS) return std::nullopt;
    std::vector<std::u16string> names;
    for (const auto& subkey : walk.node->subkeys) names.push_back(subkey->name);
    return names;
}

bool SetLastWriteTime(std::u16string_view path, FILETIME time, View view) {
    auto [lock, state] = tree::Lock();
    tree::Walk walk = Locate(state, path, view, false);
    if (walk.status != ERROR_SUCCESS) return false;
    walk.node->lastWrite = time;
    return true;
}

std::optional<FILETIME> LastWriteTime(std::u16string_view path, View view) {
    auto [lock, state] = tree::Lock();
    tree::Walk walk = Locate(state, path, view, false);
    if (walk.status != ERROR_SUCCESS) return std::nullopt;
    return walk.node->lastWrite;
}

void SetEveryLastWriteTime(FILETIME time) {
    auto [lock, state] = tree::Lock();
    // Iterative: keys may nest hundreds of levels deep.
    std::vector<tree::Node*> pending{state.machine.get(), state.users.get()};
    while (!pending.empty()) {
        tree::Node* node = pending.back();
        pending.pop_back();
        node->lastWrite = time;
        for (const auto& subkey : node->subkeys) pending.push_back(subkey.get());
    }
}

}  // namespace hostlens::sim::registry
