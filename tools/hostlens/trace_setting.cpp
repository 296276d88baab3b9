#include "tools/hostlens/trace_setting.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace hostlens::cli {

namespace {

// The whole of `text` as a number in `base`.
template <class Number>
bool ParseAll(std::string_view text, Number& number, int base = 10) {
    if (text.empty()) return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<std::string> TraceSetting(const std::string& text) {
    std::string_view rest = text;
    std::size_t comma = rest.find(',');
    unsigned level = 0;
    if (!ParseAll(rest.substr(0, comma), level) || level > 255) return std::nullopt;
    std::uint32_t flags = 0xFFFFFFFF;
    if (comma != std::string_view::npos) {
        std::string_view flagsText = rest.substr(comma + 1);
        bool hex =
            flagsText.size() > 2 && flagsText[0] == '0' && (flagsText[1] == 'x' || flagsText[1] == 'X');
        if (!(hex ? ParseAll(flagsText.substr(2), flags, 16) : ParseAll(flagsText, flags)))
            return std::nullopt;
    }
    // The trace lines go to standard error, beside the command's other messages.
    char setting[56];
    std::snprintf(setting, sizeof setting, "level=%u,flags=0x%X,file=-", level, static_cast<unsigned>(flags));
    return std::string(setting);
}

}  // namespace hostlens::cli
