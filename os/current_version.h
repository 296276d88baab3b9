// The registry reads of the operating-system record. Each opens its key anew in the
// 64-bit view, reads one value and closes the key again.
#pragma once

#include "platform/win32.h"

namespace hostlens::os {

// A value of HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion. A string is read in
// two steps, its size first; it counts as read when both succeed, and is the data up
// to its first NUL (whatever its type). A number counts as read when the value is a
// REG_DWORD. On failure the output is unchanged.
bool ReadCurrentVersionString(const WCHAR* name, WString& text);
bool ReadCurrentVersionDword(const WCHAR* name, DWORD& value);

// A server level of ...\CurrentVersion\Server\ServerLevels: true only when the value
// reads and equals 1.
bool ServerLevelIsSet(const WCHAR* name);

// Whether HKLM\<path> exists (it opens for reading).
bool MachineKeyExists(const WCHAR* path);

}  // namespace hostlens::os
