// The simulated machine's registry, as the layer's other parts see it: the loader of
// machine directories fills it, tests inspect it, impersonation switches the user
// behind HKEY_CURRENT_USER. The Win32 calls (registry.cpp) answer from the same store.
//
// Model:
// - Roots: HKEY_LOCAL_MACHINE and HKEY_USERS are stored trees. HKEY_CLASSES_ROOT is
//   an alias of HKEY_LOCAL_MACHINE\SOFTWARE\Classes (the per-user merge with
//   HKEY_CURRENT_USER\Software\Classes is not modelled). HKEY_CURRENT_USER in the
//   paths here is HKEY_USERS\<SID> of the calling thread's user, as RegOpenCurrentUser
//   opens it; when that user's hive is not loaded it is HKEY_USERS\.DEFAULT, as on
//   Windows. The Win32 calls' predefined HKEY_CURRENT_USER keeps the hive of the
//   first thread that used it, as Windows caches it for the process (registry.cpp).
// - Names of keys and values compare without case, as Windows compares them (each
//   UTF-16 code unit upper-cased by its table, nls/upcase.h), and keep the case they
//   were created with. Subkeys are kept (and enumerated) sorted by name without case, as
//   the hive's index sorts them; values in the order they were first set.
// - A fresh machine has HKLM\SOFTWARE, HKLM\SOFTWARE\Classes, HKLM\SYSTEM,
//   HKU\.DEFAULT and HKU\S-1-5-18, and nothing else. On a 64-bit machine,
//   HKLM\SOFTWARE\WOW6432Node and its Classes appear the first time the 32-bit view
//   is used (whether the machine is 64-bit is only known then).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/win32_types.h"

namespace hostlens::sim::registry {

// How a path is resolved on a 64-bit machine (on a 32-bit machine both are the same).
// Native: the path names the stored key as is, SOFTWARE\WOW6432Node included; this
//   is how 64-bit programs see the registry and how an export (.reg) writes it.
// Bits32: as a 32-bit program sees it: HKLM\SOFTWARE\X is stored under
//   HKLM\SOFTWARE\WOW6432Node\X. A path that already names WOW6432Node below
//   HKLM\SOFTWARE is not redirected a second time. The keys that Windows 7 and later
//   share between the views (wow64_keys.h: Classes but for CLSID, Interface and a few
//   others, ...\CurrentVersion\Group Policy, Policies, ...) are not redirected: both
//   views reach the one key stored at the native path. Not modelled: the links that
//   make HKLM\SOFTWARE\Classes\WOW6432Node an alias of
//   HKLM\SOFTWARE\WOW6432Node\Classes, and the 32-bit view's enumeration of
//   WOW6432Node, which lists only the keys stored there (not the shared ones).
enum class View { Native, Bits32 };

// Key paths start with their root, as in a registry export:
// "HKEY_LOCAL_MACHINE\SOFTWARE\Vendor". Roots: HKEY_LOCAL_MACHINE (HKLM), HKEY_USERS
// (HKU), HKEY_CLASSES_ROOT (HKCR), HKEY_CURRENT_USER (HKCU, the calling thread's
// user). Backslashes between components may repeat; a trailing one is ignored.
// Functions answer false (or nothing) when the root is unknown or the key missing.

// Creates the key and every missing key above it.
bool CreateKey(std::u16string_view path, View view = View::Native);
bool KeyExists(std::u16string_view path, View view = View::Native);
// Deletes the key with everything below it; open handles on those keys then answer
// ERROR_KEY_DELETED. Naming a root clears its contents.
bool DeleteTree(std::u16string_view path, View view = View::Native);

// Sets a value (empty name: the key's default value), creating the key if needed.
// The bytes are stored as given, and the key's last-write time becomes now.
bool SetValue(std::u16string_view path, std::u16string_view name, std::uint32_t type,
              std::span<const std::uint8_t> data, View view = View::Native);
bool DeleteValue(std::u16string_view path, std::u16string_view name, View view = View::Native);

// One change to a key's values: set one (the bytes as given) or delete it.
struct ValueEdit {
    std::u16string_view name;
    bool remove = false;
    std::uint32_t type = 0;
    std::span<const std::uint8_t> data;
};
// Creates the key as CreateKey does and applies the changes in order, each as
// SetValue or DeleteValue would; the path is resolved once, however many follow.
bool EditKey(std::u16string_view path, std::span<const ValueEdit> edits, View view = View::Native);

struct ValueData {
    std::u16string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};
std::optional<ValueData> GetValue(std::u16string_view path, std::u16string_view name,
                                  View view = View::Native);
// Values in enumeration order, subkey names (with their stored case) in enumeration order.
std::optional<std::vector<ValueData>> Values(std::u16string_view path, View view = View::Native);
std::optional<std::vector<std::u16string>> SubkeyNames(std::u16string_view path, View view = View::Native);

// Last-write times. Creating a key, setting or deleting a value and creating or
// deleting a subkey set the key's time to now by the machine's clock
// (MachineFacts().clock, or the host's when that is 0); loaders set recorded times last.
bool SetLastWriteTime(std::u16string_view path, FILETIME time, View view = View::Native);
std::optional<FILETIME> LastWriteTime(std::u16string_view path, View view = View::Native);
// Gives every stored key the same time, as a loaded machine's keys all were written
// before its clock starts.
void SetEveryLastWriteTime(FILETIME time);

// The calling thread's user (the one it impersonates): a SID string
// ("S-1-5-21-..."); empty restores the default, the process's user LocalSystem
// ("S-1-5-18"). Every thread starts (and restarts after a machine reset) as the default.
void SetThreadUser(std::u16string_view sid);
std::u16string ThreadUser();

}  // namespace hostlens::sim::registry
