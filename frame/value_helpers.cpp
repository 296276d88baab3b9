#include "frame/value_helpers.h"

#include <charconv>
#include <new>
#include <system_error>
#include <vector>

namespace {

// The formatted digits are ASCII: each char widens to one WCHAR.
WString Widen(const char* first, const char* last) {
    return WString(first, last);
}

template <class Integer>
WString IntegerToWide(Integer value) {
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc{} ? Widen(buffer, end) : WString();
}

}  // namespace

bool AnsiToWide(const std::string& text, WString& out, UINT codePage) {
    if (text.empty()) {
        out.clear();
        return true;
    }
    int needed = MultiByteToWideChar(codePage, 0, text.c_str(), -1, nullptr, 0);
    if (needed < 1) return false;
    try {
        std::vector<WCHAR> buffer(static_cast<std::size_t>(needed));
        if (MultiByteToWideChar(codePage, 0, text.c_str(), -1, buffer.data(), needed) < 1) return false;
        out.assign(buffer.data());  // up to the first NUL
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

WString NumberToWide(int value) {
    return IntegerToWide(value);
}

WString NumberToWide(unsigned int value) {
    return IntegerToWide(value);
}

WString NumberToWide(long value) {
    return IntegerToWide(value);
}

WString NumberToWide(unsigned long value) {
    return IntegerToWide(value);
}

WString NumberToWide(long long value) {
    return IntegerToWide(value);
}

WString NumberToWide(unsigned long long value) {
    return IntegerToWide(value);
}

WString NumberToWide(double value) {
    // The largest double has 309 integer digits; with sign, point and six decimals
    // the text stays well inside this buffer.
    char buffer[400];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return error == std::errc{} ? Widen(buffer, end) : WString();
}
