// The registry reads that the services share. Each call opens what it needs and
// closes it again before it returns (but for OpenRegistryKey's key).
//
// - `use64View` adds KEY_WOW64_64KEY to the access, so that the 32-bit library reads
//   the 64-bit view; without it the process's own view is read. Collectors of both
//   views call a function twice.
// - A root of HKEY_CURRENT_USER is the calling thread's user, impersonation included
//   (RegOpenCurrentUser, with the same access), or the predefined key when that fails:
//   the predefined key keeps the user that first used it in the process.
//
// Nothing here throws or logs, but for GetSubKeyNames' traces; a failure leaves the
// outputs as they were unless said otherwise.
#pragma once

#include <memory>

#include "platform/win32.h"

// The text of a value, whatever its type: the data up to its first NUL, or all of it
// when it has none. Read into 520 bytes, then once more into exactly the size a
// longer value needs.
bool ReadRegistryString(HKEY root, const WCHAR* subKey, const WCHAR* valueName, WString& text,
                        bool use64View);

// A REG_DWORD value; false for any other type (`value` may then have been written).
bool ReadRegistryDword(HKEY root, const WCHAR* subKey, const WCHAR* valueName, DWORD* value, bool use64View);

// The names of the direct subkeys as a multi-string: each name and its NUL, then one
// more NUL. `lengthInChars` gives the buffer's length and is set to the length needed
// (0 for a key without subkeys). Without a buffer it only measures; with one, it is
// true when every name and the closing NUL fit (names that do not fit are left out,
// and the ones after them still count) and the key has subkeys.
bool EnumerateSubKeys(HKEY root, const WCHAR* subKey, WCHAR* buffer, DWORD* lengthInChars, bool use64View);

// The multi-string of EnumerateSubKeys, sized and filled: 0, ERROR_NO_DATA (232) for a
// key without subkeys or one that cannot be listed, ERROR_NOT_ENOUGH_MEMORY (8). On
// failure `names` is null. An empty or null subKey lists the root itself.
DWORD GetSubKeyNames(HKEY root, const WCHAR* subKey, std::unique_ptr<WCHAR[]>& names, bool use64View);

// root\subKey opened for reading values, or null; the caller closes it with
// CloseRegistryKey.
HKEY OpenRegistryKey(HKEY root, const WCHAR* subKey, bool use64View);
void CloseRegistryKey(HKEY& key);

// The key's last-write time (UTC).
bool GetKeyLastWriteTime(HKEY root, const WCHAR* subKey, SYSTEMTIME& time, bool use64View);
