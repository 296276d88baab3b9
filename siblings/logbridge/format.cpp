#include "format.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/win32.h"

namespace hostlens::logbridge {
namespace {

// A width or precision written in the format beyond this makes the directive
// malformed, and one taken from an argument is cut down to it: a runaway field must
// not ask for gigabytes of padding.
constexpr int kMaxField = 1 << 20;

enum class Length { kNone, kLong, kLongLong, kWide };

struct Spec {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool zero = false;
    bool alternate = false;
    bool widthFromArg = false;
    int width = 0;
    bool hasPrecision = false;
    bool precisionFromArg = false;
    int precision = 0;
    Length length = Length::kNone;
    char conversion = 0;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads a run of digits; false when it exceeds kMaxField.
bool ParseNumber(const char*& p, int& value) {
    value = 0;
    while (IsDigit(*p)) {
        value = value * 10 + (*p - '0');
        if (value > kMaxField) return false;
        ++p;
    }
    return true;
}

bool AcceptsLength(char conversion, Length length) {
    switch (conversion) {
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
            return length != Length::kWide;
        case 'c':
            return length == Length::kNone;
        case 's':
            return length != Length::kLongLong;
        default:
            return false;
    }
}

// Parses the directive whose text follows a '%'. On success `p` is left after the
// conversion character; nothing is read from the arguments yet, so a directive
// found malformed half-way has consumed none.
bool Parse(const char*& p, Spec& spec) {
    for (;; ++p) {
        if (*p == '-') {
            spec.left = true;
        } else if (*p == '+') {
            spec.plus = true;
        } else if (*p == ' ') {
            spec.space = true;
        } else if (*p == '0') {
            spec.zero = true;
        } else if (*p == '#') {
            spec.alternate = true;
        } else {
            break;
        }
    }
    if (*p == '*') {
        spec.widthFromArg = true;
        ++p;
    } else if (!ParseNumber(p, spec.width)) {
        return false;
    }
    if (*p == '.') {
        ++p;
        spec.hasPrecision = true;
        if (*p == '*') {
            spec.precisionFromArg = true;
            ++p;
        } else if (!ParseNumber(p, spec.precision)) {
            return false;
        }
    }
    if (*p == 'l') {
        ++p;
        spec.length = Length::kLong;
        if (*p == 'l') {
            ++p;
            spec.length = Length::kLongLong;
        }
    } else if (*p == 'I') {
        if (p[1] != '6' || p[2] != '4') return false;
        p += 3;
        spec.length = Length::kLongLong;
    } else if (*p == 'w') {
        ++p;
        spec.length = Length::kWide;
    }
    spec.conversion = *p;
    if (!AcceptsLength(spec.conversion, spec.length)) return false;
    ++p;
    return true;
}

class Expander {
public:
    explicit Expander(va_list args) { va_copy(args_, args); }
    ~Expander() { va_end(args_); }
    Expander(const Expander&) = delete;
    Expander& operator=(const Expander&) = delete;

    std::string Run(const char* p) {
        while (*p != '\0') {
            if (*p != '%') {
                const char* next = std::strchr(p, '%');
                if (next == nullptr) next = p + std::strlen(p);
                out_.append(p, next);
                p = next;
                continue;
            }
            ++p;
            if (*p == '%') {
                out_ += '%';
                ++p;
                continue;
            }
            const char* directive = p;
            Spec spec;
            if (!Parse(p, spec)) {
                // Not a directive: the '%' is text, and so is what follows it.
                out_ += '%';
                p = directive;
                continue;
            }
            Convert(spec);
        }
        return std::move(out_);
    }

private:
    void Convert(Spec& spec) {
        if (spec.widthFromArg) {
            long long width = va_arg(args_, int);
            if (width < 0) {
                spec.left = true;
                width = -width;
            }
            spec.width = static_cast<int>(width > kMaxField ? kMaxField : width);
        }
        if (spec.precisionFromArg) {
            int precision = va_arg(args_, int);
            spec.hasPrecision = precision >= 0;
            spec.precision = precision > kMaxField ? kMaxField : precision;
        }
        switch (spec.conversion) {
            case 'd':
            case 'i':
                Signed(spec);
                break;
            case 'u':
            case 'x':
            case 'X':
                Unsigned(spec);
                break;
            case 'c': {
                char c = static_cast<char>(va_arg(args_, int));
                Pad(spec, std::string_view(&c, 1), 1);
                break;
            }
            default:
                if (spec.length == Length::kNone) {
                    Narrow(spec);
                } else {
                    Wide(spec);
                }
                break;
        }
    }

    void Signed(const Spec& spec) {
        long long value = spec.length == Length::kLongLong ? va_arg(args_, long long) : va_arg(args_, int);
        // Negating in unsigned arithmetic keeps the most negative value exact.
        unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                 : static_cast<unsigned long long>(value);
        std::string_view sign = value < 0 ? "-" : spec.plus ? "+" : spec.space ? " " : "";
        Integer(spec, sign, magnitude);
    }

    void Unsigned(const Spec& spec) {
        unsigned long long value = spec.length == Length::kLongLong ? va_arg(args_, unsigned long long)
                                                                    : va_arg(args_, unsigned int);
        Integer(spec, "", value);
    }

    void Integer(const Spec& spec, std::string_view sign, unsigned long long value) {
        bool hex = spec.conversion == 'x' || spec.conversion == 'X';
        bool zeroValue = value == 0;
        const char* symbols = spec.conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
        char digits[24];
        std::size_t count = 0;
        // An explicit precision of 0 prints nothing at all for the value 0.
        if (!zeroValue || !spec.hasPrecision || spec.precision != 0) {
            unsigned base = hex ? 16 : 10;
            do {
                digits[count++] = symbols[value % base];
                value /= base;
            } while (value != 0);
        }
        std::string_view prefix;
        if (hex && spec.alternate && !zeroValue) {
            prefix = spec.conversion == 'X' ? "0X" : "0x";
        }
        std::size_t zeros = spec.hasPrecision && static_cast<std::size_t>(spec.precision) > count
                                ? spec.precision - count
                                : 0;
        std::size_t body = sign.size() + prefix.size() + zeros + count;
        std::size_t padding = static_cast<std::size_t>(spec.width) > body ? spec.width - body : 0;
        if (spec.zero && !spec.left && !spec.hasPrecision) {
            zeros += padding;
            padding = 0;
        }
        if (!spec.left) out_.append(padding, ' ');
        out_ += sign;
        out_ += prefix;
        out_.append(zeros, '0');
        while (count > 0) out_ += digits[--count];
        if (spec.left) out_.append(padding, ' ');
    }

    void Narrow(const Spec& spec) {
        const char* text = va_arg(args_, const char*);
        if (text == nullptr) text = "(null)";
        // With a precision the argument need not be terminated: read no further.
        std::size_t length = 0;
        std::size_t limit = spec.hasPrecision ? static_cast<std::size_t>(spec.precision) : SIZE_MAX;
        while (length < limit && text[length] != '\0') ++length;
        Pad(spec, std::string_view(text, length), length);
    }

    // Width and precision count UTF-16 units, as the Windows runtime counts the
    // characters of a wide string; a precision never splits a surrogate pair.
    void Wide(const Spec& spec) {
        const WCHAR* text = va_arg(args_, const WCHAR*);
        if (text == nullptr) {
            Spec narrow = spec;
            narrow.length = Length::kNone;
            std::string_view null = "(null)";
            std::size_t length = spec.hasPrecision && static_cast<std::size_t>(spec.precision) < null.size()
                                     ? spec.precision
                                     : null.size();
            Pad(narrow, null.substr(0, length), length);
            return;
        }
        std::size_t limit = spec.hasPrecision ? static_cast<std::size_t>(spec.precision) : SIZE_MAX;
        std::string utf8;
        std::size_t units = 0;
        while (units < limit && text[units] != 0) {
            char32_t c = static_cast<char16_t>(text[units]);
            if (c >= 0xD800 && c <= 0xDBFF) {
                if (units + 1 >= limit) break;
                char32_t low = static_cast<char16_t>(text[units + 1]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    AppendUtf8(utf8, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                    units += 2;
                    continue;
                }
                c = 0xFFFD;  // an unpaired surrogate has no UTF-8 form
            } else if (c >= 0xDC00 && c <= 0xDFFF) {
                c = 0xFFFD;
            }
            AppendUtf8(utf8, c);
            ++units;
        }
        Pad(spec, utf8, units);
    }

    static void AppendUtf8(std::string& out, char32_t c) {
        if (c < 0x80) {
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

    // Writes `text`, which is `columns` wide for the width, padded with spaces.
    void Pad(const Spec& spec, std::string_view text, std::size_t columns) {
        std::size_t padding = static_cast<std::size_t>(spec.width) > columns ? spec.width - columns : 0;
        if (!spec.left) out_.append(padding, ' ');
        out_ += text;
        if (spec.left) out_.append(padding, ' ');
    }

    va_list args_;
    std::string out_;
};

}  // namespace

std::string Expand(const char* format, va_list args) {
    if (format == nullptr) return {};
    return Expander(args).Run(format);
}

}  // namespace hostlens::logbridge
