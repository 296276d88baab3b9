#include "software/registry_helpers.h"

#include <cstdint>
#include <new>
#include <vector>

#include "frame/reg_key.h"
#include "frame/trace.h"

HL_TRACE_MODULE("software/registry_helpers")

namespace {

using hostlens::RegKey;

constexpr DWORD kFirstReadBytes = 520;
constexpr DWORD kReadValues = KEY_QUERY_VALUE;
constexpr DWORD kReadKeys = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;

DWORD Access(DWORD access, bool use64View) {
    return use64View ? access | KEY_WOW64_64KEY : access;
}

// Opens root\subKey. HKEY_CURRENT_USER stands for the thread's user: that user's key
// is the root for the open, and is closed again when this returns.
bool Open(HKEY root, const WCHAR* subKey, DWORD access, RegKey& key) {
    RegKey currentUser;
    if (root == HKEY_CURRENT_USER && RegOpenCurrentUser(access, currentUser.Receive()) == ERROR_SUCCESS)
        root = currentUser.Get();
    return RegOpenKeyExW(root, subKey, 0, access, key.Receive()) == ERROR_SUCCESS;
}

// The text of `size` bytes of value data: up to the first NUL, an odd last byte
// being no character.
WString TextOf(const std::vector<BYTE>& data, DWORD size) {
    const std::size_t chars = (size < data.size() ? size : data.size()) / sizeof(WCHAR);
    const auto* characters = reinterpret_cast<const WCHAR*>(data.data());
    std::size_t length = 0;
    while (length < chars && characters[length] != 0) ++length;
    return WString(characters, length);
}

}  // namespace

bool ReadRegistryString(HKEY root, const WCHAR* subKey, const WCHAR* valueName, WString& text,
                        bool use64View) {
    try {
        RegKey key;
        if (!Open(root, subKey, Access(kReadValues, use64View), key)) return false;
        std::vector<BYTE> data(kFirstReadBytes);
        DWORD size = kFirstReadBytes;
        LSTATUS status = RegQueryValueExW(key.Get(), valueName, nullptr, nullptr, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            // Never a null buffer, which would turn the read into a size query.
            data.assign(size > 0 ? size : 1, 0);
            status = RegQueryValueExW(key.Get(), valueName, nullptr, nullptr, data.data(), &size);
        }
        if (status != ERROR_SUCCESS) return false;
        text = TextOf(data, size);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ReadRegistryDword(HKEY root, const WCHAR* subKey, const WCHAR* valueName, DWORD* value, bool use64View) {
    if (value == nullptr) return false;
    RegKey key;
    if (!Open(root, subKey, Access(kReadValues, use64View), key)) return false;
    DWORD type = REG_NONE;
    DWORD size = sizeof(DWORD);
    return RegQueryValueExW(key.Get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD;
}

bool EnumerateSubKeys(HKEY root, const WCHAR* subKey, WCHAR* buffer, DWORD* lengthInChars, bool use64View) {
    if (lengthInChars == nullptr) return false;
    RegKey key;
    if (!Open(root, subKey, Access(kReadKeys, use64View), key)) return false;
    DWORD subKeys = 0;
    DWORD longest = 0;
    if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subKeys, &longest, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    const std::size_t nameCapacity = std::size_t{longest} + 1;
    std::unique_ptr<WCHAR[]> name(new (std::nothrow) WCHAR[nameCapacity]);
    if (!name) return false;
    // Positions count in 64 bits: a length that overflows a DWORD fits no buffer.
    std::uint64_t position = 0;
    for (DWORD index = 0; index < subKeys; ++index) {
        DWORD nameLength = static_cast<DWORD>(nameCapacity);
        if (RegEnumKeyExW(key.Get(), index, name.get(), &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return false;
        if (buffer != nullptr && position + nameLength + 1 <= *lengthInChars) {
            for (DWORD i = 0; i < nameLength; ++i) buffer[position + i] = name[i];
            buffer[position + nameLength] = 0;
        }
        position += std::uint64_t{nameLength} + 1;
    }
    const std::uint64_t needed = subKeys == 0 ? 0 : position + 1;
    bool result = needed <= 0xFFFFFFFF;
    if (buffer != nullptr) {
        result = result && subKeys != 0 && position < *lengthInChars;
        if (result) buffer[position] = 0;
    }
    *lengthInChars = static_cast<DWORD>(needed);
    return result;
}

DWORD GetSubKeyNames(HKEY root, const WCHAR* subKey, std::unique_ptr<WCHAR[]>& names, bool use64View) {
    names.reset();
    DWORD length = 0;
    if (!EnumerateSubKeys(root, subKey, nullptr, &length, use64View) || length == 0) return ERROR_NO_DATA;
    names.reset(new (std::nothrow) WCHAR[length]);
    if (!names) {
        TRACE_ERROR(subKey, length);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (!EnumerateSubKeys(root, subKey, names.get(), &length, use64View)) {
        names.reset();
        TRACE_ERROR(subKey, length);
        return ERROR_NO_DATA;
    }
    return ERROR_SUCCESS;
}

HKEY OpenRegistryKey(HKEY root, const WCHAR* subKey, bool use64View) {
    RegKey key;
    if (!Open(root, subKey, Access(kReadValues, use64View), key)) return nullptr;
    return key.Release();
}

void CloseRegistryKey(HKEY& key) {
    if (key != nullptr) {
        RegCloseKey(key);
        key = nullptr;
    }
}

bool GetKeyLastWriteTime(HKEY root, const WCHAR* subKey, SYSTEMTIME& time, bool use64View) {
    RegKey key;
    if (!Open(root, subKey, Access(kReadKeys, use64View), key)) return false;
    FILETIME written{};
    SYSTEMTIME converted{};
    if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, &written) != ERROR_SUCCESS ||
        !FileTimeToSystemTime(&written, &converted))
        return false;
    time = converted;
    return true;
}
