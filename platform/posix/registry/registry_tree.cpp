#include "platform/posix/registry/registry_tree.h"

#include <algorithm>
#include <chrono>

#include "platform/posix/machine/machine.h"

namespace hostlens::sim::registry::tree {
namespace {

constexpr std::u16string_view kWow6432Node = u"WOW6432Node";
constexpr std::u16string_view kDefaultUser = u"S-1-5-18";
constexpr std::u16string_view kDefaultHive = u".DEFAULT";
// Windows refuses to create a key whose name is longer than this.
constexpr std::size_t kMaxKeyNameLength = 255;

bool SameName(std::u16string_view a, std::u16string_view b) {
    return detail::CompareNoCase(a, b) == 0;
}

std::shared_ptr<Node> NewNode(State& state, std::u16string name) {
    auto node = std::make_shared<Node>();
    node->name = std::move(name);
    node->lastWrite = Now(state);
    return node;
}

std::shared_ptr<Node> AddSubkey(State& state, Node& parent, std::u16string_view name, bool parentIsMachine) {
    auto child = NewNode(state, std::u16string(name));
    child->redirects32 = parentIsMachine && SameName(name, u"SOFTWARE");
    parent.subkeys.Insert(child);
    parent.lastWrite = child->lastWrite;
    return child;
}

// Every 64-bit Windows has HKLM\SOFTWARE\WOW6432Node and its Classes. They are made
// the first time the 32-bit view needs them (whether the machine is 64-bit is only
// known then), as if they had always been there: SOFTWARE's time is left alone.
std::shared_ptr<Node> MakeWow6432Node(State& state, Node& software) {
    auto wow = NewNode(state, std::u16string(kWow6432Node));
    wow->lastWrite = software.lastWrite;
    auto classes = NewNode(state, u"Classes");
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

// A fresh machine: the keys every Windows installation has and the hives loaded for
// the process's user.
void Populate(State& state) {
    state.machine = NewNode(state, u"HKEY_LOCAL_MACHINE");
    state.users = NewNode(state, u"HKEY_USERS");
    auto software = AddSubkey(state, *state.machine, u"SOFTWARE", true);
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

FILETIME Now(State& state) {
    if (state.clock) return state.clock();
    // FILETIME counts 100 ns intervals since 1601-01-01; the host clock counts from 1970.
    constexpr std::uint64_t kEpochDifference = 116444736000000000ULL;
    auto sinceUnixEpoch = std::chrono::system_clock::now().time_since_epoch();
    auto ticks = static_cast<std::uint64_t>(
                     std::chrono::duration_cast<std::chrono::nanoseconds>(sinceUnixEpoch).count() / 100) +
                 kEpochDifference;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
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
    const bool redirect = view == View::Bits32 && MachineFacts().native64;
    auto step = [&](std::u16string_view name) {
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
    };
    for (std::size_t i = 0; i <= path.size(); ++i) {
        // In the 32-bit view, HKLM\SOFTWARE's subkeys are those of its WOW6432Node,
        // unless the path names WOW6432Node itself; a path ending at SOFTWARE ends
        // there too (reopening a key through its own handle stays where it is).
        bool intoSubkey = i < path.size() && !SameName(path[i], kWow6432Node);
        bool endsHere = i == path.size() && i > 0;
        if (redirect && walk.node->redirects32 && (intoSubkey || endsHere)) {
            auto wow = walk.node->Find(kWow6432Node);
            if (!wow) wow = MakeWow6432Node(state, *walk.node);
            walk.parent = std::move(walk.node);
            walk.node = std::move(wow);
            walk.created = false;
        }
        if (i == path.size()) break;
        if (!step(path[i])) return walk;
    }
    return walk;
}

void DeleteSubtree(State& state, Node& parent, const std::shared_ptr<Node>& child) {
    parent.subkeys.Erase(child);
    MarkDeleted(*child);
    parent.lastWrite = Now(state);
}

void ClearKey(State& state, Node& node) {
    for (const auto& child : node.subkeys) MarkDeleted(*child);
    node.subkeys.Clear();
    node.values.Clear();
    node.lastWrite = Now(state);
}

void SetValue(State& state, Node& node, std::u16string_view name, std::uint32_t type,
              std::vector<std::uint8_t> data) {
    node.values.Set(name, type, std::move(data));
    node.lastWrite = Now(state);
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
