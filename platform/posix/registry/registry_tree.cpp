#include "platform/posix/registry/registry_tree.h"

#include <algorithm>
#include <span>

#include "platform/posix/machine/machine.h"
#include "platform/posix/registry/wow64_keys.h"
#include "platform/posix/time/win32_time.h"

namespace hostlens::sim::registry::tree {
namespace {

constexpr std::u16string_view kSoftware = u"SOFTWARE";
constexpr std::u16string_view kWow6432Node = u"WOW6432Node";
constexpr std::u16string_view kDefaultUser = u"S-1-5-18";
constexpr std::u16string_view kDefaultHive = u".DEFAULT";
// Windows refuses to create a key whose name is longer than this.
constexpr std::size_t kMaxKeyNameLength = 255;

bool SameName(std::u16string_view a, std::u16string_view b) {
    return detail::CompareNoCase(a, b) == 0;
}

std::shared_ptr<Node> NewNode(std::u16string name) {
    auto node = std::make_shared<Node>();
    node->name = std::move(name);
    node->lastWrite = Now();
    return node;
}

std::shared_ptr<Node> AddSubkey(State& state, Node& parent, std::u16string_view name, bool parentIsMachine) {
    auto child = NewNode(std::u16string(name));
    child->parent = &parent;
    child->redirects32 = parentIsMachine && SameName(name, kSoftware);
    parent.subkeys.Insert(child);
    parent.lastWrite = child->lastWrite;
    return child;
}

// Every 64-bit Windows has HKLM\SOFTWARE\WOW6432Node and its Classes. They are made
// the first time the 32-bit view needs them (whether the machine is 64-bit is only
// known then), as if they had always been there: SOFTWARE's time is left alone.
std::shared_ptr<Node> MakeWow6432Node(State& state, Node& software) {
    auto wow = NewNode(std::u16string(kWow6432Node));
    wow->parent = &software;
    wow->lastWrite = software.lastWrite;
    auto classes = NewNode(u"Classes");
    classes->parent = wow.get();
    classes->lastWrite = software.lastWrite;
    wow->subkeys.Insert(classes);
    software.subkeys.Insert(wow);
    return wow;
}

void MarkDeleted(Node& node) {
    node.deleted = true;
    for (const auto& child : node.subkeys) MarkDeleted(*child);
    node.subkeys.Clear();  // handles keep the nodes they hold alive, nothing else needs them
    node.values.Clear();
}

// One step down from `walk.node` to its subkey `name`, made first if `create`.
bool Step(State& state, Walk& walk, std::u16string_view name, bool create) {
    auto next = walk.node->Find(name);
    walk.created = false;
    if (!next && create) {
        if (name.size() > kMaxKeyNameLength) {
            walk.status = ERROR_INVALID_PARAMETER;
            return false;
        }
        next = AddSubkey(state, *walk.node, name, walk.node == state.machine);
        walk.created = true;
    }
    if (!next) {
        walk.status = ERROR_FILE_NOT_FOUND;
        return false;
    }
    walk.parent = std::move(walk.node);
    walk.node = std::move(next);
    return true;
}

// Appends the path of `node` below HKLM\SOFTWARE as the 32-bit view names it (without
// a leading WOW6432Node) to `below`; false when the node is not SOFTWARE or below it.
bool PathBelowSoftware(const Node& node, std::vector<std::u16string_view>& below) {
    std::vector<std::u16string_view> upwards;
    for (const Node* at = &node; at; at = at->parent) {
        if (at->redirects32) {
            if (!upwards.empty() && SameName(upwards.back(), kWow6432Node)) upwards.pop_back();
            below.insert(below.end(), upwards.rbegin(), upwards.rend());
            return true;
        }
        upwards.push_back(at->name);
    }
    return false;
}

// From HKLM\SOFTWARE (walk.node), the 32-bit view follows `below` into WOW6432Node,
// unless it names WOW6432Node itself or a key the views share.
void FollowBelowSoftware(State& state, Walk& walk, std::span<const std::u16string_view> below, bool create) {
    bool namesWow6432Node = !below.empty() && SameName(below.front(), kWow6432Node);
    if (!namesWow6432Node && !wow64::IsShared(below)) {
        auto wow = walk.node->Find(kWow6432Node);
        if (!wow) wow = MakeWow6432Node(state, *walk.node);
        walk.parent = std::move(walk.node);
        walk.node = std::move(wow);
        walk.created = false;
    }
    for (std::u16string_view name : below)
        if (!Step(state, walk, name, create)) return;
}

// A fresh machine: the keys every Windows installation has and the hives loaded for
// the process's user.
void Populate(State& state) {
    state.machine = NewNode(u"HKEY_LOCAL_MACHINE");
    state.users = NewNode(u"HKEY_USERS");
    auto software = AddSubkey(state, *state.machine, kSoftware, true);
    AddSubkey(state, *software, u"Classes", false);
    AddSubkey(state, *state.machine, u"SYSTEM", true);
    AddSubkey(state, *state.users, kDefaultHive, false);
    AddSubkey(state, *state.users, kDefaultUser, false);
}

State& Registry() {
    // Never destroyed: emulated calls may run during static teardown.
    static State* state = [] {
        auto* created = new State;
        Populate(*created);
        return created;
    }();
    return *state;
}

void Reset() {
    auto [lock, state] = Lock();
    for (std::size_t i = 0; i < state.handles.size(); ++i) detail::Closed(detail::Resource::Key);
    state.handles.clear();
    Populate(state);
    ++state.generation;
}

[[maybe_unused]] const bool registered = [] {
    detail::OnReset(Reset);
    return true;
}();

struct ThreadUserSlot {
    std::uint64_t generation = 0;
    std::u16string sid;  // empty: the default user
};
thread_local ThreadUserSlot t_user;

}  // namespace

Locked Lock() {
    State& state = Registry();
    return Locked{std::unique_lock(state.mutex), state};
}

FILETIME Now() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);  // the machine's clock, or the host's when it has none
    return now;
}

LSTATUS SplitPath(std::u16string_view path, std::vector<std::u16string_view>& components) {
    if (!path.empty() && path.front() == u'\\') return ERROR_BAD_PATHNAME;
    while (!path.empty()) {
        std::size_t end = path.find(u'\\');
        std::u16string_view component = path.substr(0, end);
        if (!component.empty()) components.push_back(component);
        if (end == std::u16string_view::npos) break;
        path.remove_prefix(end + 1);
    }
    return ERROR_SUCCESS;
}

Base RootBase(State& state, Root root) {
    switch (root) {
        case Root::LocalMachine:
            return Base{state.machine, {}};
        case Root::Users:
            return Base{state.users, {}};
        case Root::ClassesRoot:
            return Base{state.machine, {u"SOFTWARE", u"Classes"}};
        case Root::CurrentUser: {
            std::u16string sid = ThreadUser();
            if (!state.users->Find(sid)) sid = kDefaultHive;  // the user's hive is not loaded
            return Base{state.users, {std::move(sid)}};
        }
    }
    return Base{state.machine, {}};
}

View ViewFor(std::uint32_t access, const View* inherited) {
    if (access & KEY_WOW64_64KEY) return View::Native;
    if (access & KEY_WOW64_32KEY) return View::Bits32;
    if (inherited) return *inherited;
    return MachineFacts().process64 ? View::Native : View::Bits32;
}

Walk Follow(State& state, const std::shared_ptr<Node>& start, const std::vector<std::u16string_view>& path,
            View view, bool create) {
    Walk walk;
    walk.node = start;
    if (start->deleted) {
        walk.status = ERROR_KEY_DELETED;
        return walk;
    }
    if (path.empty()) return walk;  // a key reopened through its own handle stays where it is
    if (view != View::Bits32 || !MachineFacts().native64) {
        for (std::u16string_view name : path)
            if (!Step(state, walk, name, create)) break;
        return walk;
    }
    std::vector<std::u16string_view> below;
    if (PathBelowSoftware(*start, below)) {
        // The start's own place decides too: SOFTWARE\WOW6432Node\Microsoft and
        // "Windows\CurrentVersion\Group Policy" lead to the shared key.
        below.insert(below.end(), path.begin(), path.end());
        walk.parent = state.machine;
        walk.node = state.machine->Find(kSoftware);  // the start's live ancestor
        FollowBelowSoftware(state, walk, below, create);
        return walk;
    }
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (!Step(state, walk, path[i], create)) return walk;
        if (walk.node->redirects32) {
            FollowBelowSoftware(state, walk, std::span(path).subspan(i + 1), create);
            return walk;
        }
    }
    return walk;
}

void DeleteSubtree(State& state, Node& parent, const std::shared_ptr<Node>& child) {
    parent.subkeys.Erase(child);
    MarkDeleted(*child);
    parent.lastWrite = Now();
}

void ClearKey(State& state, Node& node) {
    for (const auto& child : node.subkeys) MarkDeleted(*child);
    node.subkeys.Clear();
    node.values.Clear();
    node.lastWrite = Now();
}

void SetValue(State& state, Node& node, std::u16string_view name, std::uint32_t type,
              std::vector<std::uint8_t> data) {
    node.values.Set(name, type, std::move(data));
    node.lastWrite = Now();
}

}  // namespace hostlens::sim::registry::tree

namespace hostlens::sim::registry {

void SetThreadUser(std::u16string_view sid) {
    tree::t_user.generation = tree::Registry().generation.load();
    tree::t_user.sid = std::u16string(sid);
}

std::u16string ThreadUser() {
    if (tree::t_user.generation != tree::Registry().generation.load() || tree::t_user.sid.empty())
        return std::u16string(tree::kDefaultUser);
    return tree::t_user.sid;
}

}  // namespace hostlens::sim::registry
