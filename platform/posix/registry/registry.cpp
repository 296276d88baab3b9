// The registry calls of advapi32, answered from the simulated machine's store
// (registry_store.h describes the model: roots, views, names, order).
//
// Where Windows' behaviour is subtle, what is done here and why:
// - RegOpenKeyExW on a predefined key with no subkey hands back the predefined key
//   itself, as advapi32 does: nothing is opened and closing it is a no-op. Any other
//   successful open or create returns a new handle, counted as an open Key until
//   RegCloseKey.
// - Rights are checked where Windows checks the handle's granted access: querying
//   and enumerating values and querying key information need KEY_QUERY_VALUE,
//   setting values KEY_SET_VALUE, enumerating subkeys KEY_ENUMERATE_SUB_KEYS.
//   Opening or creating a subkey through a handle needs no right on it (Windows checks
//   the subkey's own security, which is not modelled). Generic rights are mapped
//   to key rights. Predefined keys grant everything.
// - Strings are stored as given, with one exception that Windows makes too:
//   RegSetValueExW of a REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ whose count leaves out
//   the terminator while the character right after the counted data is NUL counts
//   that NUL in (the count grows by 2, an odd count 7 becoming 9). To know, it reads
//   the character at byte offset 2 * (count / 2), and it then copies count + 2 bytes:
//   the caller's buffer is assumed to hold them, as Windows assumes. A count below 2
//   holds no whole character and is stored as given.
// - RegQueryValueExW and RegEnumValueW write one NUL character after string data that
//   does not end in one when the caller's buffer has room for it; the size reported
//   stays the stored size. Windows does so (docs/testing.md has the evidence).
// - RegQueryValueExW without a data buffer sets the size to 0 before looking the value
//   up, so a missing value reports a size of 0; with a buffer, the size is left alone.
// - Key classes and security descriptors are not modelled: classes are empty and the
//   security descriptor size reported is 0.
// - With both KEY_WOW64_64KEY and KEY_WOW64_32KEY, the 64-bit view wins.
// - RegDeleteTreeW with an empty subkey, like a null one, empties the key and keeps it.
// - An injected failure does nothing but return its error (an open or create also
//   clears the caller's HKEY, as a real failure does).
#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/posix/machine/machine.h"
#include "platform/posix/registry/registry_tree.h"
#include "platform/posix/win32_base.h"
#include "platform/posix/registry/win32_registry.h"

namespace {

using hostlens::sim::detail::Resource;
using hostlens::sim::registry::View;
namespace detail = hostlens::sim::detail;
namespace tree = hostlens::sim::registry::tree;

constexpr DWORD kGenericRead = 0x80000000;
constexpr DWORD kGenericWrite = 0x40000000;
constexpr DWORD kGenericExecute = 0x20000000;
constexpr DWORD kGenericAll = 0x10000000;
constexpr DWORD kMaximumAllowed = 0x02000000;

DWORD GrantedAccess(DWORD desired) {
    DWORD granted =
        desired & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll | kMaximumAllowed);
    if (desired & (kGenericRead | kGenericExecute)) granted |= KEY_READ;
    if (desired & kGenericWrite) granted |= KEY_WRITE;
    if (desired & (kGenericAll | kMaximumAllowed)) granted |= KEY_ALL_ACCESS;
    return granted;
}

bool Predefined(HKEY key, tree::Root* root = nullptr) {
    tree::Root found;
    if (key == HKEY_LOCAL_MACHINE)
        found = tree::Root::LocalMachine;
    else if (key == HKEY_USERS)
        found = tree::Root::Users;
    else if (key == HKEY_CLASSES_ROOT)
        found = tree::Root::ClassesRoot;
    else if (key == HKEY_CURRENT_USER)
        found = tree::Root::CurrentUser;
    else
        return false;
    if (root) *root = found;
    return true;
}

std::u16string_view Text(LPCWSTR text) {
    return text ? std::u16string_view(text) : std::u16string_view{};
}

// What a call's key argument stands for: where paths through it start, the view of
// the handle (none for a predefined key) and the rights granted on it.
struct Origin {
    LSTATUS status = ERROR_SUCCESS;
    tree::Base base;
    const View* view = nullptr;
    DWORD access = 0;
};

// HKEY_CURRENT_USER stands for the hive of the user of the thread that first used it
// in the process, for every thread from then on, also for one that impersonates
// another user: Windows caches the key for the process (RegOpenCurrentUser follows
// the thread). A machine reset forgets it; closing the predefined key, which empties
// Windows' cache, changes nothing here. Guarded by the registry's lock.
tree::Base CurrentUserBase(tree::State& state) {
    static std::uint64_t cachedGeneration = ~std::uint64_t{0};
    static std::u16string cachedHive;
    if (cachedGeneration != state.generation.load()) {
        cachedHive = tree::RootBase(state, tree::Root::CurrentUser).prefix.front();
        cachedGeneration = state.generation.load();
    }
    return tree::Base{state.users, {cachedHive}};
}

Origin OriginOf(tree::State& state, HKEY key) {
    Origin origin;
    tree::Root root;
    if (Predefined(key, &root)) {
        origin.base = root == tree::Root::CurrentUser ? CurrentUserBase(state) : tree::RootBase(state, root);
        origin.access = KEY_ALL_ACCESS;
        return origin;
    }
    auto handle = state.handles.find(static_cast<const void*>(key));
    if (handle == state.handles.end()) {
        origin.status = ERROR_INVALID_HANDLE;
        return origin;
    }
    origin.base.start = handle->second->node;
    origin.view = &handle->second->view;
    origin.access = handle->second->access;
    return origin;
}

// Follows `subKey` from the origin in the view the call works in (set in `view`).
tree::Walk Follow(tree::State& state, const Origin& origin, std::u16string_view subKey, DWORD desired,
                  bool create, View& view) {
    std::vector<std::u16string_view> path(origin.base.prefix.begin(), origin.base.prefix.end());
    if (LSTATUS status = tree::SplitPath(subKey, path); status != ERROR_SUCCESS) {
        tree::Walk failed;
        failed.status = status;
        return failed;
    }
    view = tree::ViewFor(desired, origin.view);
    return tree::Follow(state, origin.base.start, path, view, create);
}

// The key a call's key argument names, for calls that work on the key itself.
struct Target {
    LSTATUS status = ERROR_SUCCESS;
    std::shared_ptr<tree::Node> node;
    DWORD access = 0;
};

Target TargetOf(tree::State& state, HKEY key, DWORD needed) {
    Origin origin = OriginOf(state, key);
    if (origin.status != ERROR_SUCCESS) return Target{origin.status, nullptr, 0};
    View view;
    tree::Walk walk = Follow(state, origin, {}, 0, false, view);
    if (walk.status != ERROR_SUCCESS) return Target{walk.status, nullptr, 0};
    if ((origin.access & needed) != needed) return Target{ERROR_ACCESS_DENIED, nullptr, 0};
    return Target{ERROR_SUCCESS, std::move(walk.node), origin.access};
}

HKEY NewHandle(tree::State& state, std::shared_ptr<tree::Node> node, View view, DWORD access) {
    auto handle = std::make_unique<tree::OpenKey>(tree::OpenKey{std::move(node), view, access});
    HKEY key = reinterpret_cast<HKEY>(handle.get());
    state.handles.emplace(handle.get(), std::move(handle));
    detail::Opened(Resource::Key);
    return key;
}

bool IsString(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

WCHAR CharAt(const BYTE* data, DWORD index) {
    WCHAR c;
    std::memcpy(&c, data + index * sizeof(WCHAR), sizeof c);  // the caller's data may be unaligned
    return c;
}

// How many bytes RegSetValueExW stores: a string that left its terminator out of the
// count gets it back when the terminator directly follows.
DWORD StoredSize(DWORD type, const BYTE* data, DWORD size) {
    if (!IsString(type) || size < sizeof(WCHAR)) return size;
    DWORD next = size / sizeof(WCHAR);
    if (CharAt(data, next - 1) != 0 && CharAt(data, next) == 0) return size + sizeof(WCHAR);
    return size;
}

// Copies a value's data to the caller's buffer of `capacity` bytes, which holds it,
// and terminates a string that is not when there is room.
void CopyData(const tree::Value& value, LPBYTE out, DWORD capacity) {
    auto size = static_cast<DWORD>(value.data.size());
    if (size == 0) return;
    std::memcpy(out, value.data.data(), size);
    if (IsString(value.type) && size >= sizeof(WCHAR) && capacity - size >= sizeof(WCHAR) &&
        CharAt(out + size - sizeof(WCHAR), 0) != 0)
        std::memset(out + size, 0, sizeof(WCHAR));
}

void CopyName(const std::u16string& name, LPWSTR out) {
    std::memcpy(out, name.data(), name.size() * sizeof(WCHAR));
    out[name.size()] = 0;
}

}  // namespace

HOSTLENS_WIN32_API LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, DWORD desired,
                                                PHKEY result) {
    if (auto fault = detail::Fault("RegOpenKeyExW")) {
        if (result) *result = nullptr;
        return static_cast<LSTATUS>(*fault);
    }
    if (!result) return ERROR_INVALID_PARAMETER;
    std::u16string_view sub = Text(subKey);
    if (sub.empty() && Predefined(key)) {
        *result = key;
        return ERROR_SUCCESS;
    }
    // Windows accepts one leading backslash below HKEY_CLASSES_ROOT, and only there.
    if (key == HKEY_CLASSES_ROOT && !sub.empty() && sub.front() == u'\\') sub.remove_prefix(1);
    *result = nullptr;

    auto [lock, state] = tree::Lock();
    Origin origin = OriginOf(state, key);
    if (origin.status != ERROR_SUCCESS) return origin.status;
    View view;
    tree::Walk walk = Follow(state, origin, sub, desired, false, view);
    if (walk.status != ERROR_SUCCESS) return walk.status;
    *result = NewHandle(state, std::move(walk.node), view, GrantedAccess(desired));
    return ERROR_SUCCESS;
}

HOSTLENS_WIN32_API LSTATUS WINAPI RegOpenCurrentUser(DWORD desired, PHKEY result) {
    if (auto fault = detail::Fault("RegOpenCurrentUser")) {
        if (result) *result = nullptr;
        return static_cast<LSTATUS>(*fault);
    }
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;

    auto [lock, state] = tree::Lock();
    // The thread's user now (HKEY_USERS\.DEFAULT when that user's hive is not loaded).
    tree::Base base = tree::RootBase(state, tree::Root::CurrentUser);
    std::vector<std::u16string_view> path(base.prefix.begin(), base.prefix.end());
    View view = tree::ViewFor(desired, nullptr);
    tree::Walk walk = tree::Follow(state, base.start, path, view, false);
    if (walk.status != ERROR_SUCCESS) return walk.status;
    *result = NewHandle(state, std::move(walk.node), view, GrantedAccess(desired));
    return ERROR_SUCCESS;
}

HOSTLENS_WIN32_API LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                                                  DWORD options, DWORD desired,
                                                  const SECURITY_ATTRIBUTES* security, PHKEY result,
                                                  LPDWORD disposition) {
    if (auto fault = detail::Fault("RegCreateKeyExW")) {
        if (result) *result = nullptr;
        return static_cast<LSTATUS>(*fault);
    }
    if (reserved != 0 || !result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;

    auto [lock, state] = tree::Lock();
    Origin origin = OriginOf(state, key);
    if (origin.status != ERROR_SUCCESS) return origin.status;
    View view;
    tree::Walk walk = Follow(state, origin, Text(subKey), desired, true, view);
    if (walk.status != ERROR_SUCCESS) return walk.status;
    *result = NewHandle(state, std::move(walk.node), view, GrantedAccess(desired));
    if (disposition) *disposition = walk.created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

HOSTLENS_WIN32_API LSTATUS WINAPI RegCloseKey(HKEY key) {
    if (auto fault = detail::Fault("RegCloseKey")) return static_cast<LSTATUS>(*fault);
    if (Predefined(key)) return ERROR_SUCCESS;
    auto [lock, state] = tree::Lock();
    auto handle = state.handles.find(static_cast<const void*>(key));
    if (handle == state.handles.end()) return ERROR_INVALID_HANDLE;
    state.handles.erase(handle);
    detail::Closed(Resource::Key);
    return ERROR_SUCCESS;
}

HOSTLENS_WIN32_API LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved,
                                                   LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    if (auto fault = detail::Fault("RegQueryValueExW")) return static_cast<LSTATUS>(*fault);
    if ((data && !dataSize) || reserved) return ERROR_INVALID_PARAMETER;
    if (!data && dataSize) *dataSize = 0;

    auto [lock, state] = tree::Lock();
    Target target = TargetOf(state, key, KEY_QUERY_VALUE);
    if (target.status != ERROR_SUCCESS) return target.status;
    const tree::Value* value = target.node->FindValue(Text(valueName));
    if (!value) return ERROR_FILE_NOT_FOUND;
    auto size = static_cast<DWORD>(value->data.size());
    LSTATUS status = ERROR_SUCCESS;
    if (data) {
        if (size > *dataSize)
            status = ERROR_MORE_DATA;  // the size and type are still reported
        else
            CopyData(*value, data, *dataSize);
    }
    if (type) *type = value->type;
    if (dataSize) *dataSize = size;
    return status;
}

HOSTLENS_WIN32_API LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                                                 const BYTE* data, DWORD dataSize) {
    if (auto fault = detail::Fault("RegSetValueExW")) return static_cast<LSTATUS>(*fault);
    if (!data && dataSize) return ERROR_NOACCESS;

    auto [lock, state] = tree::Lock();
    Target target = TargetOf(state, key, KEY_SET_VALUE);
    if (target.status != ERROR_SUCCESS) return target.status;
    std::vector<std::uint8_t> bytes;
    if (dataSize > 0) bytes.assign(data, data + StoredSize(type, data, dataSize));
    tree::SetValue(state, *target.node, Text(valueName), type, std::move(bytes));
    return ERROR_SUCCESS;
}

HOSTLENS_WIN32_API LSTATUS WINAPI RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
    if (auto fault = detail::Fault("RegDeleteTreeW")) return static_cast<LSTATUS>(*fault);

    auto [lock, state] = tree::Lock();
    std::u16string_view sub = Text(subKey);
    if (sub.empty()) {
        // The key itself is emptied through the caller's handle, which must allow
        // enumerating it and, to remove values, setting them.
        Target target = TargetOf(state, key, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
        if (target.status != ERROR_SUCCESS) return target.status;
        if (!target.node->values.Empty() && !(target.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        tree::ClearKey(state, *target.node);
        return ERROR_SUCCESS;
    }
    Origin origin = OriginOf(state, key);
    if (origin.status != ERROR_SUCCESS) return origin.status;
    View view;
    tree::Walk walk = Follow(state, origin, sub, 0, false, view);
    if (walk.status != ERROR_SUCCESS) return walk.status;
    if (walk.parent)
        tree::DeleteSubtree(state, *walk.parent, walk.node);
    else
        tree::ClearKey(state, *walk.node);  // the path named no step below the key
    return ERROR_SUCCESS;
}

HOSTLENS_WIN32_API LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength,
                                                LPDWORD reserved, LPWSTR keyClass, LPDWORD classLength,
                                                PFILETIME lastWriteTime) {
    if (auto fault = detail::Fault("RegEnumKeyExW")) return static_cast<LSTATUS>(*fault);
    if (reserved || !name || !nameLength) return ERROR_INVALID_PARAMETER;

    auto [lock, state] = tree::Lock();
    Target target = TargetOf(state, key, KEY_ENUMERATE_SUB_KEYS);
    if (target.status != ERROR_SUCCESS) return target.status;
    if (index >= target.node->subkeys.Size()) return ERROR_NO_MORE_ITEMS;
    const tree::Node& subkey = target.node->subkeys.At(index);
    if (lastWriteTime) *lastWriteTime = subkey.lastWrite;
    // Lengths count characters; the buffer must also hold the terminator. When it
    // does not, nothing is written and the length is left as it was.
    if (subkey.name.size() >= *nameLength || (keyClass && classLength && *classLength == 0))
        return ERROR_MORE_DATA;
    CopyName(subkey.name, name);
    *nameLength = static_cast<DWORD>(subkey.name.size());
    if (classLength) {
        if (keyClass) keyClass[0] = 0;
        *classLength = 0;
    }
    return ERROR_SUCCESS;
}

HOSTLENS_WIN32_API LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName,
                                                LPDWORD valueNameLength, LPDWORD reserved, LPDWORD type,
                                                LPBYTE data, LPDWORD dataSize) {
    if (auto fault = detail::Fault("RegEnumValueW")) return static_cast<LSTATUS>(*fault);
    if (reserved || !valueName || !valueNameLength || (data && !dataSize)) return ERROR_INVALID_PARAMETER;

    auto [lock, state] = tree::Lock();
    Target target = TargetOf(state, key, KEY_QUERY_VALUE);
    if (target.status != ERROR_SUCCESS) return target.status;
    if (index >= target.node->values.Size()) return ERROR_NO_MORE_ITEMS;
    const tree::Value& value = target.node->values.At(index);
    auto size = static_cast<DWORD>(value.data.size());
    // As advapi32 does: the name first (its length untouched when it does not fit),
    // then the data; the type and the data's size are reported either way.
    LSTATUS status = ERROR_SUCCESS;
    if (value.name.size() >= *valueNameLength) {
        status = ERROR_MORE_DATA;
    } else {
        CopyName(value.name, valueName);
        *valueNameLength = static_cast<DWORD>(value.name.size());
        if (data && size > *dataSize)
            status = ERROR_MORE_DATA;
        else if (data)
            CopyData(value, data, *dataSize);
    }
    if (type) *type = value.type;
    if (dataSize) *dataSize = size;
    return status;
}

HOSTLENS_WIN32_API LSTATUS WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classLength,
                                                   LPDWORD reserved, LPDWORD subKeys, LPDWORD maxSubKeyLength,
                                                   LPDWORD maxClassLength, LPDWORD values,
                                                   LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                                                   LPDWORD securityDescriptorSize, PFILETIME lastWriteTime) {
    if (auto fault = detail::Fault("RegQueryInfoKeyW")) return static_cast<LSTATUS>(*fault);
    if (reserved) return ERROR_INVALID_PARAMETER;

    auto [lock, state] = tree::Lock();
    Target target = TargetOf(state, key, KEY_QUERY_VALUE);
    if (target.status != ERROR_SUCCESS) return target.status;
    tree::Node& node = *target.node;
    // Name lengths are in characters without the terminator, data lengths in bytes.
    // Windows keeps these maxima as high-water marks; the exact current maxima
    // reported here are never smaller than what enumeration needs.
    std::size_t longestSubkey = 0, longestName = 0, largestData = 0;
    for (const auto& subkey : node.subkeys) longestSubkey = std::max(longestSubkey, subkey->name.size());
    for (const auto& value : node.values.All()) {
        longestName = std::max(longestName, value.name.size());
        largestData = std::max(largestData, value.data.size());
    }
    if (keyClass && classLength && *classLength > 0) keyClass[0] = 0;
    if (classLength) *classLength = 0;
    if (subKeys) *subKeys = static_cast<DWORD>(node.subkeys.Size());
    if (maxSubKeyLength) *maxSubKeyLength = static_cast<DWORD>(longestSubkey);
    if (maxClassLength) *maxClassLength = 0;
    if (values) *values = static_cast<DWORD>(node.values.Size());
    if (maxValueNameLength) *maxValueNameLength = static_cast<DWORD>(longestName);
    if (maxValueLength) *maxValueLength = static_cast<DWORD>(largestData);
    if (securityDescriptorSize) *securityDescriptorSize = 0;
    if (lastWriteTime) *lastWriteTime = node.lastWrite;
    return ERROR_SUCCESS;
}
