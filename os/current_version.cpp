#include "os/current_version.h"

#include <vector>

#include "frame/reg_key.h"

namespace hostlens::os {
namespace {

const WCHAR kCurrentVersion[] = W("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
const WCHAR kServerLevels[] = W("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Server\\ServerLevels");
constexpr DWORD kAccess = KEY_QUERY_VALUE | KEY_WOW64_64KEY;

bool Open(const WCHAR* path, RegKey& key) {
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, kAccess, key.Receive()) == ERROR_SUCCESS;
}

// A REG_DWORD value of the key at `path`.
bool ReadDword(const WCHAR* path, const WCHAR* name, DWORD& value) {
    RegKey key;
    if (!Open(path, key)) return false;
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof data)
        return false;
    value = data;
    return true;
}

}  // namespace

bool ReadCurrentVersionString(const WCHAR* name, WString& text) {
    RegKey key;
    if (!Open(kCurrentVersion, key)) return false;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
    // Never a null buffer, which would make the read a second size query; a value that
    // grew since the size was asked answers ERROR_MORE_DATA and is not read.
    std::vector<BYTE> data(size > 0 ? size : 1);
    if (RegQueryValueExW(key.Get(), name, nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS)
        return false;
    // No NUL is promised: the text ends at the first one or with the data, and an odd
    // last byte is no character.
    const std::size_t chars = (size < data.size() ? size : data.size()) / sizeof(WCHAR);
    const auto* characters = reinterpret_cast<const WCHAR*>(data.data());
    std::size_t length = 0;
    while (length < chars && characters[length] != 0) ++length;
    text.assign(characters, length);
    return true;
}

bool ReadCurrentVersionDword(const WCHAR* name, DWORD& value) {
    return ReadDword(kCurrentVersion, name, value);
}

bool ServerLevelIsSet(const WCHAR* name) {
    DWORD value = 0;
    return ReadDword(kServerLevels, name, value) && value == 1;
}

bool MachineKeyExists(const WCHAR* path) {
    RegKey key;
    return Open(path, key);
}

}  // namespace hostlens::os
