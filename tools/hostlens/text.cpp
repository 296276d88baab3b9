// Both conversions replace what cannot be converted (an unpaired surrogate, a byte
// that is not UTF-8) with U+FFFD, as WideCharToMultiByte and MultiByteToWideChar with
// CP_UTF8 do; they are the only two places to switch to those functions.
#include "tools/hostlens/text.h"

namespace hostlens::cli {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

void AppendUtf16(WString& out, char32_t code) {
    if (code < 0x10000) {
        out += static_cast<WCHAR>(code);
    } else {
        code -= 0x10000;
        out += static_cast<WCHAR>(0xD800 + (code >> 10));
        out += static_cast<WCHAR>(0xDC00 + (code & 0x3FF));
    }
}

// The code point of the UTF-8 sequence at `i`, advancing `i` past it; a malformed,
// overlong or surrogate sequence yields U+FFFD and advances by one byte.
char32_t DecodeUtf8(const std::string& text, std::size_t& i) {
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    unsigned char lead = byte(i);
    std::size_t length = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xE  ? 3
                         : (lead >> 3) == 0x1E ? 4
                                               : 0;
    if (length == 0 || i + length > text.size()) {
        ++i;
        return kReplacement;
    }
    if (length == 1) {
        ++i;
        return lead;
    }
    char32_t code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += length;
    return code;
}

}  // namespace

std::string Utf8(const WCHAR* text, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        char32_t unit = static_cast<std::uint16_t>(text[i]);
        if (IsHighSurrogate(unit) && i + 1 < length &&
            IsLowSurrogate(static_cast<std::uint16_t>(text[i + 1]))) {
            char32_t low = static_cast<std::uint16_t>(text[++i]);
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, unit);
        }
    }
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
    WString out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) AppendUtf16(out, DecodeUtf8(utf8, i));
    return out;
}

}  // namespace hostlens::cli
