// UTF-16 and UTF-8 through the platform's conversions (CP_UTF8), which replace what
// cannot be converted (an unpaired surrogate, a byte that is not UTF-8) with U+FFFD.
#include "tools/hostlens/text.h"

#include <climits>

namespace hostlens::cli {

std::string Utf8(const WCHAR* text, std::size_t length) {
    if (length == 0 || length > INT_MAX) return std::string();
    int wideLength = static_cast<int>(length);
    int size = WideCharToMultiByte(CP_UTF8, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string out(static_cast<std::size_t>(size), '\0');
    size = WideCharToMultiByte(CP_UTF8, 0, text, wideLength, out.data(), size, nullptr, nullptr);
    out.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    return out;
}

std::string Utf8(const WString& text) {
    return Utf8(text.data(), text.size());
}

std::string Utf8Bounded(const WCHAR* text, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && text[length] != 0) ++length;
    return Utf8(text, length);
}

WString Wide(const std::string& utf8) {
    if (utf8.empty() || utf8.size() > INT_MAX) return WString();
    int length = static_cast<int>(utf8.size());
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (size <= 0) return WString();
    WString out(static_cast<std::size_t>(size), 0);
    size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, out.data(), size);
    out.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    return out;
}

}  // namespace hostlens::cli
