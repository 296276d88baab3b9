#include "platform/program_arguments.h"

#include <windows.h>
#include <shellapi.h>

#include <climits>
#include <cwchar>
#include <memory>

namespace hostlens {

namespace {

struct LocalFreeDeleter {
    void operator()(LPWSTR* list) const { LocalFree(list); }
};

std::string Utf8(const wchar_t* text) {
    std::size_t length = std::wcslen(text);
    if (length == 0 || length > INT_MAX) return std::string();
    int wideLength = static_cast<int>(length);
    int size = WideCharToMultiByte(CP_UTF8, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string out(static_cast<std::size_t>(size), '\0');
    size = WideCharToMultiByte(CP_UTF8, 0, text, wideLength, out.data(), size, nullptr, nullptr);
    out.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    return out;
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    std::unique_ptr<LPWSTR, LocalFreeDeleter> wide(CommandLineToArgvW(GetCommandLineW(), &count));
    // Without the UTF-16 command line, main's arguments are the best there is.
    if (!wide || count <= 0) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) arguments.push_back(Utf8(wide.get()[i]));
    return arguments;
}

}  // namespace hostlens
