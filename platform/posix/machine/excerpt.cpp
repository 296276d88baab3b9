// Input quoted in messages: cut short and with control characters spelled out.
#include <cstdio>

#include "platform/posix/machine/machine.h"

namespace hostlens::sim::detail {
namespace {

void AppendEscape(std::string& out, const char* format, unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, value);
    out += buffer;
}

// One character of the excerpt: as UTF-8, or spelled out when a terminal would act on it.
void AppendCharacter(std::string& out, char32_t c) {
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
        AppendEscape(out, "\\u%04X", static_cast<unsigned>(c));
    } else if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The well-formed UTF-8 sequence at the start of `text`: its character and length,
// or a length of 0 when the first byte does not start one.
std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view text) {
    auto b = static_cast<unsigned char>(text[0]);
    if (b < 0x80) return {b, 1};
    std::size_t n = (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || n > text.size()) return {0, 0};
    char32_t c = b & (0xFF >> (n + 1));
    for (std::size_t k = 1; k < n; ++k) {
        auto cont = static_cast<unsigned char>(text[k]);
        if ((cont & 0xC0) != 0x80) return {0, 0};
        c = c << 6 | (cont & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMin[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return {0, 0};
    return {c, n};
}

}  // namespace

std::string Excerpt(std::string_view utf8, std::size_t limit) {
    std::string out;
    for (std::size_t i = 0, count = 0; i < utf8.size(); ++count) {
        if (count == limit) return out + "...";
        auto [c, n] = DecodeUtf8(utf8.substr(i));
        if (n == 0) {
            AppendEscape(out, "\\x%02X", static_cast<unsigned char>(utf8[i]));
            ++i;
        } else {
            AppendCharacter(out, c);
            i += n;
        }
    }
    return out;
}

std::string Excerpt(std::u16string_view text, std::size_t limit) {
    std::string out;
    for (std::size_t i = 0, count = 0; i < text.size(); ++count) {
        if (count == limit) return out + "...";
        char32_t c = text[i++];
        if (c >= 0xD800 && c <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i++] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;  // an unpaired surrogate
        AppendCharacter(out, c);
    }
    return out;
}

}  // namespace hostlens::sim::detail
