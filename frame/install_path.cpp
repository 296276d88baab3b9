#include "frame/install_path.h"

#include <vector>

#include "frame/loader.h"
#include "frame/reg_key.h"

namespace {
const WCHAR kAgentKey[] = W("SOFTWARE\\Orvix Security\\SetupEx\\Nuvex Agent");
const WCHAR kPathValue[] = W("Path");
}  // namespace

bool GetInstallPath(WString& path) {
    hostlens::RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAgentKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    RegQueryValueExW(key.Get(), kPathValue, nullptr, nullptr, nullptr, &size);
    // Never a null buffer: after a failed size query the size is still 0, and a null
    // buffer would turn the read into another size query that succeeds without data.
    std::vector<BYTE> data(size > 0 ? size : 1);
    if (RegQueryValueExW(key.Get(), kPathValue, nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS)
        return false;
    // The text up to its first NUL, or to the end of the data when it has none.
    std::size_t chars = size / sizeof(WCHAR);
    const auto* text = reinterpret_cast<const WCHAR*>(data.data());
    std::size_t length = 0;
    while (length < chars && text[length] != 0) ++length;
    path.assign(text, length);
    return true;
}

WString GetUtilsFolder() {
    WString path;
    if (!GetInstallPath(path)) return WString();
    return WithTrailingBackslash(path) + W("Utils\\");
}
