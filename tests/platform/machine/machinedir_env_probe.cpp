// Started by the machine-directory tests with HOSTLENS_MACHINE set: prints the ANSI
// code page and HKLM\SOFTWARE\Vendor "A" ("-" when missing) of the machine it got.
#include <cstdio>
#include <string>

#include "platform/win32.h"

int main() {
    std::string text = "-";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor"), 0, KEY_READ | KEY_WOW64_64KEY, &key) ==
        ERROR_SUCCESS) {
        WCHAR value[256] = {};
        DWORD size = sizeof value - sizeof(WCHAR);
        if (RegQueryValueExW(key, W("A"), nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
            ERROR_SUCCESS) {
            text.clear();
            for (const WCHAR* c = value; *c != 0; ++c) text += static_cast<char>(*c);  // ASCII values only
        }
        RegCloseKey(key);
    }
    std::printf("%u %s\n", GetACP(), text.c_str());
    return 0;
}
