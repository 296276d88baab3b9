// The registry's tree and the handles open on it, shared by the store API
// (registry_store.cpp) and the Win32 calls (registry.cpp). One mutex guards all of it:
// every function here expects the caller to hold State::mutex (see Lock()).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/posix/registry/key_contents.h"
#include "platform/posix/registry/registry_store.h"
#include "platform/posix/win32_base.h"
#include "platform/posix/registry/win32_registry.h"

namespace hostlens::sim::registry::tree {

struct Node {
    std::u16string name;  // as created; never changes while the node is in a SubkeyList
    // The key it hangs from (null for a root). Valid while the node is not deleted:
    // a key is deleted with everything below it.
    Node* parent = nullptr;
    SubkeyList subkeys;
    ValueList values;
    FILETIME lastWrite{};
    // Set when the key is deleted: handles still hold the node and must answer
    // ERROR_KEY_DELETED, even after a key of the same name is created again.
    bool deleted = false;
    // HKLM\SOFTWARE: in the 32-bit view its subtree is its WOW6432Node subkey's, but
    // for the keys the views share (wow64_keys.h).
    bool redirects32 = false;

    std::shared_ptr<Node> Find(std::u16string_view name) const { return subkeys.Find(name); }
    Value* FindValue(std::u16string_view name) { return values.Find(name); }
};

// What an HKEY that RegOpenKeyExW or RegCreateKeyExW returned points to.
struct OpenKey {
    std::shared_ptr<Node> node;
    View view;             // relative opens through the handle stay in this view
    std::uint32_t access;  // granted rights (generic rights mapped)
};

enum class Root { LocalMachine, Users, ClassesRoot, CurrentUser };

struct State {
    std::mutex mutex;
    std::shared_ptr<Node> machine;  // HKEY_LOCAL_MACHINE
    std::shared_ptr<Node> users;    // HKEY_USERS
    // Live handles, looked up by the HKEY's value so a stale or made-up HKEY is
    // answered ERROR_INVALID_HANDLE without being dereferenced.
    std::unordered_map<const void*, std::unique_ptr<OpenKey>> handles;
    // Bumped by each machine reset: thread-local users set before it no longer apply.
    std::atomic<std::uint64_t> generation{0};
};

// The registry with its lock taken.
struct Locked {
    std::unique_lock<std::mutex> lock;
    State& state;
};
Locked Lock();

// The time of a write: the machine's clock (MachineFacts().clock, which follows the
// host's when it is 0), as GetSystemTimeAsFileTime reports it.
FILETIME Now();

// Splits a relative key path into its components. A leading backslash is
// ERROR_BAD_PATHNAME, as Windows answers for a relative name; repeated and trailing
// backslashes are ignored.
LSTATUS SplitPath(std::u16string_view path, std::vector<std::u16string_view>& components);

// Where a root starts: a stored node and the components below it that the root
// stands for (HKCR is HKLM + SOFTWARE\Classes, HKCU is HKU + the thread's SID).
struct Base {
    std::shared_ptr<Node> start;
    std::vector<std::u16string> prefix;
};
Base RootBase(State& state, Root root);

// The view a call works in: an explicit KEY_WOW64_64KEY / KEY_WOW64_32KEY flag, else
// the view of the handle the call goes through, else the process's own.
View ViewFor(std::uint32_t access, const View* inherited);

struct Walk {
    LSTATUS status = ERROR_SUCCESS;
    std::shared_ptr<Node> node;    // the key reached
    std::shared_ptr<Node> parent;  // the key it hangs from; null when no step was taken
    bool created = false;          // the key reached did not exist before
};
// Follows `path` from `start` as `view` sees it, creating missing keys if `create`.
// In the 32-bit view a path through HKLM\SOFTWARE is mapped as a whole, also when it
// starts at a key below SOFTWARE: the start's own path counts.
Walk Follow(State& state, const std::shared_ptr<Node>& start, const std::vector<std::u16string_view>& path,
            View view, bool create);

// Removes `child` and everything below it from `parent`.
void DeleteSubtree(State& state, Node& parent, const std::shared_ptr<Node>& child);
// Removes every subkey and value of `node`, keeping the key.
void ClearKey(State& state, Node& node);
void SetValue(State& state, Node& node, std::u16string_view name, std::uint32_t type,
              std::vector<std::uint8_t> data);

}  // namespace hostlens::sim::registry::tree
