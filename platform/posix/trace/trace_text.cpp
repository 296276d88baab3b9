#include "platform/posix/trace/trace_text.h"

#include <time.h>

#include <charconv>
#include <cstdio>
#include <cstring>

#include "platform/posix/machine/machine.h"

namespace hostlens::sim::detail {
namespace {

template <class T>
bool ParseNumber(std::string_view text, int base, T& value) {
    if (text.empty()) return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc{} && end == text.data() + text.size();
}

bool ParseLevel(std::string_view text, std::uint8_t& level) {
    unsigned value = 0;
    if (!ParseNumber(text, 10, value) || value > 0xFF) return false;
    level = static_cast<std::uint8_t>(value);
    return true;
}

bool ParseFlags(std::string_view text, std::uint32_t& flags) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return ParseNumber(text.substr(2), 16, flags);
    return ParseNumber(text, 10, flags);
}

void AppendHex(std::string& out, unsigned long long value, int digits) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%0*llX", digits, value);
    out += buffer;
}

void AppendEscaped(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", byte);
            out += buffer;
        } else {
            out += c;
        }
    }
    out += '"';
}

// Texts are told from numbers by their terminating NUL and by holding at least two
// characters: a small number, such as 0x57 in four bytes, would otherwise read as
// the one-character text "W".
constexpr std::size_t kMinTextLength = 2;

// NUL-terminated UTF-16 with no control characters or unpaired surrogates.
std::optional<std::u16string> AsWideText(const std::string& bytes) {
    if (bytes.size() < (kMinTextLength + 1) * 2 || bytes.size() % 2 != 0) return std::nullopt;
    std::u16string text(bytes.size() / 2, u'\0');
    std::memcpy(text.data(), bytes.data(), bytes.size());
    if (text.back() != u'\0') return std::nullopt;
    text.pop_back();
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if ((c < 0x20 && c != u'\t') || c == 0xFFFE || c == 0xFFFF) return std::nullopt;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return std::nullopt;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return std::nullopt;
        }
    }
    return text;
}

// NUL-terminated valid UTF-8 with no control characters.
std::optional<std::string> AsNarrowText(const std::string& bytes) {
    if (bytes.size() < kMinTextLength + 1 || bytes.back() != '\0') return std::nullopt;
    std::string text = bytes.substr(0, bytes.size() - 1);
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7F) return std::nullopt;
    }
    if (Narrow(Widen(text)) != text) return std::nullopt;  // not UTF-8
    return text;
}

void AppendArgument(std::string& out, const std::string& bytes) {
    switch (bytes.size()) {
        case 0:
            out += "<empty>";
            return;
        case 1:
        case 2:
        case 4:
        case 8: {
            // Numbers are what arguments of these sizes mostly are: show the value.
            unsigned long long value = 0;
            for (std::size_t i = bytes.size(); i-- > 0;)
                value = (value << 8) | static_cast<unsigned char>(bytes[i]);
            AppendHex(out, value, static_cast<int>(bytes.size() * 2));
            break;
        }
        default: {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            for (char c : bytes) {
                auto byte = static_cast<unsigned char>(c);
                out += kDigits[byte >> 4];
                out += kDigits[byte & 0xF];
            }
            break;
        }
    }
    if (auto wide = AsWideText(bytes)) {
        out += " u";
        AppendEscaped(out, Narrow(*wide));
    } else if (auto narrow = AsNarrowText(bytes)) {
        out += ' ';
        AppendEscaped(out, *narrow);
    }
}

}  // namespace

std::optional<TraceSetting> ParseTraceSetting(std::string_view text, std::string& why) {
    TraceSetting setting;
    bool haveLevel = false;
    bool haveFlags = false;
    std::string_view rest = text;
    while (true) {
        std::size_t equals = rest.find('=');
        if (equals == std::string_view::npos) {
            why = "expected key=value, found \"" + std::string(rest) + "\"";
            return std::nullopt;
        }
        std::string_view key = rest.substr(0, equals);
        if (key == "file") {
            // The path is the rest of the text: it may hold commas.
            setting.file = std::string(rest.substr(equals + 1));
            if (setting.file.empty()) {
                why = "file= needs a path";
                return std::nullopt;
            }
            break;
        }
        std::size_t comma = rest.find(',', equals);
        std::string_view value =
            rest.substr(equals + 1, comma == std::string_view::npos ? comma : comma - equals - 1);
        if (key == "level") {
            if (haveLevel || !ParseLevel(value, setting.level)) {
                why = haveLevel ? "level= given twice" : "level must be a number from 0 to 255";
                return std::nullopt;
            }
            haveLevel = true;
        } else if (key == "flags") {
            if (haveFlags || !ParseFlags(value, setting.flags)) {
                why = haveFlags ? "flags= given twice" : "flags must be a 32-bit number (decimal or 0x-hex)";
                return std::nullopt;
            }
            haveFlags = true;
        } else {
            why = "unknown key \"" + std::string(key) + "\"";
            return std::nullopt;
        }
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    if (!haveLevel || !haveFlags) {
        why = !haveLevel ? "level= is missing" : "flags= is missing";
        return std::nullopt;
    }
    return setting;
}

std::string FormatGuid(const GUID& guid) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return buffer;
}

std::string FormatTraceLine(const TracePoint& point, std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    auto sinceEpoch = time.time_since_epoch();
    std::time_t seconds = static_cast<std::time_t>(duration_cast<std::chrono::seconds>(sinceEpoch).count());
    auto millis = duration_cast<milliseconds>(sinceEpoch).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));

    std::string line = stamp;
    line += ' ';
    line += FormatGuid(point.messageGuid);
    line += " number=" + std::to_string(point.number);
    line += " level=" + std::to_string(point.level);
    line += " flag=" + std::to_string(point.flag);
    if (point.viaTraceEvent) line += " via=TraceEvent";
    for (std::size_t i = 0; i < point.args.size(); ++i) {
        line += " arg" + std::to_string(i + 1) + '=';
        AppendArgument(line, point.args[i]);
    }
    return line;
}

}  // namespace hostlens::sim::detail
