#include "platform/posix/machine/directory/reg_file.h"

#include "platform/posix/machine/machine.h"

#include <algorithm>

namespace hostlens::sim::machinedir {
namespace {

constexpr std::u16string_view kHeader5 = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kHeader4 = u"REGEDIT4";
constexpr std::size_t kMaxKeyNameLength = 255;  // characters in one key name, as Windows limits it
constexpr std::size_t kMaxKeyDepth = 512;       // levels of the registry tree, as Windows limits it

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

// Windows-1252 for 0x80..0x9F; the other bytes are Latin-1. The five bytes the code
// page leaves undefined map to the C1 controls, as MultiByteToWideChar does.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t FromCp1252(std::uint8_t b) {
    return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b;
}

// Input quoted in a message: cut short, control characters spelled out.
std::string Quote(std::u16string_view text) {
    std::string quoted = "'";
    quoted += detail::Excerpt(text);
    quoted += '\'';
    return quoted;
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

std::u16string_view TrimLeft(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}

std::u16string_view TrimRight(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char16_t UpperAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// 1 to 8 hex digits and nothing else.
std::optional<std::uint32_t> HexNumber(std::u16string_view digits) {
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (char16_t c : digits) {
        int d = HexDigit(c);
        if (d < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(d);
    }
    return value;
}

void AppendUtf16Le(std::vector<std::uint8_t>& out, std::u16string_view text) {
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
}

std::size_t LineOfOffset(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return 1 + static_cast<std::size_t>(std::count(bytes.begin(), bytes.begin() + offset, '\n'));
}

// The file as UTF-16 text, and whether its strings are ANSI (REGEDIT4).
struct Decoded {
    std::u16string text;
    bool ansi = false;
    std::optional<ParseError> error;
};

Decoded FailDecode(std::size_t line, std::string reason) {
    Decoded d;
    d.error = ParseError{};
    d.error->line = line;
    d.error->reason = std::move(reason);
    return d;
}

Decoded DecodeUtf8(std::span<const std::uint8_t> bytes, std::size_t start) {
    Decoded d;
    d.text.reserve(bytes.size() - start);
    std::size_t i = start;
    while (i < bytes.size()) {
        std::uint8_t b = bytes[i];
        if (b < 0x80) {
            d.text += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        std::size_t n = (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > bytes.size()) return FailDecode(LineOfOffset(bytes, i), "invalid UTF-8");
        char32_t c = b & (0xFF >> (n + 1));
        for (std::size_t k = 1; k < n; ++k) {
            std::uint8_t cont = bytes[i + k];
            if ((cont & 0xC0) != 0x80) return FailDecode(LineOfOffset(bytes, i), "invalid UTF-8");
            c = c << 6 | (cont & 0x3F);
        }
        static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kMin[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return FailDecode(LineOfOffset(bytes, i), "invalid UTF-8");
        if (c >= 0x10000) {
            c -= 0x10000;
            d.text += static_cast<char16_t>(0xD800 + (c >> 10));
            d.text += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            d.text += static_cast<char16_t>(c);
        }
        i += n;
    }
    return d;
}

Decoded Decode(std::span<const std::uint8_t> bytes) {
    auto startsWith = [&](std::string_view prefix) {
        return bytes.size() >= prefix.size() &&
               std::equal(prefix.begin(), prefix.end(), bytes.begin(),
                          [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
    };
    if (startsWith("\xFF\xFE")) {
        Decoded d;
        std::size_t count = (bytes.size() - 2) / 2;
        d.text.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            d.text += static_cast<char16_t>(bytes[2 + 2 * i] | bytes[3 + 2 * i] << 8);
        auto lineAt = [&](std::size_t end) {
            return 1 + static_cast<std::size_t>(std::count(d.text.begin(), d.text.begin() + end, u'\n'));
        };
        // Strictly, as UTF-8 is read: an unpaired surrogate is no character and could
        // never be written back out as one.
        for (std::size_t i = 0; i < d.text.size(); ++i) {
            char16_t c = d.text[i];
            bool high = c >= 0xD800 && c <= 0xDBFF;
            bool low = c >= 0xDC00 && c <= 0xDFFF;
            if (high && i + 1 < d.text.size() && d.text[i + 1] >= 0xDC00 && d.text[i + 1] <= 0xDFFF)
                ++i;
            else if (high || low)
                return FailDecode(lineAt(i), "invalid UTF-16: an unpaired surrogate");
        }
        if ((bytes.size() - 2) % 2 != 0)
            return FailDecode(lineAt(d.text.size()),
                              "UTF-16 text ends in the middle of a character (odd number of bytes)");
        return d;
    }
    if (startsWith("\xFE\xFF"))
        return FailDecode(1, "UTF-16 big-endian text is not supported; save the file as UTF-16LE or UTF-8");
    if (startsWith("\xEF\xBB\xBF")) return DecodeUtf8(bytes, 3);
    if (startsWith("REGEDIT4")) {
        // A REGEDIT4 file is ANSI text: read it in the Western code page.
        Decoded d;
        d.ansi = true;
        d.text.reserve(bytes.size());
        for (std::uint8_t b : bytes) d.text += FromCp1252(b);
        return d;
    }
    return DecodeUtf8(bytes, 0);
}

// Hands out the lines of the text one at a time, without their line break.
class Lines {
public:
    explicit Lines(std::u16string_view text) : text_(text) {}

    bool Next(std::u16string_view& line) {
        if (pos_ > text_.size() || (pos_ == text_.size() && number_ > 0)) return false;
        std::size_t end = text_.find(u'\n', pos_);
        if (end == std::u16string_view::npos) end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
        pos_ = end + 1;
        ++number_;
        return true;
    }
    std::size_t Number() const { return number_; }

private:
    std::u16string_view text_;
    std::size_t pos_ = 0;
    std::size_t number_ = 0;
};

class Parser {
public:
    Parser(std::u16string_view text, bool ansi) : lines_(text), ansi_(ansi) {}

    ParseResult<std::vector<RegOperation>> Run();

private:
    bool Fail(std::string reason) { return Fail(lines_.Number(), std::move(reason)); }
    bool Fail(std::size_t line, std::string reason) {
        error_ = ParseError{};
        error_->line = line;
        error_->reason = std::move(reason);
        return false;
    }

    bool Header();
    bool KeyLine(std::u16string_view line);
    bool KeyPath(std::u16string_view text, RegKeyPath& out);
    bool LastWriteComment(std::u16string_view line, bool afterKey);
    bool ValueLine(std::u16string_view line);
    bool Quoted(std::u16string_view line, std::size_t& pos, std::u16string& out);
    bool HexList(std::u16string_view rest, std::vector<std::uint8_t>& out);

    Lines lines_;
    bool ansi_;
    std::vector<RegOperation> ops_;
    // The section values go to; none before a key line or after [-key]. Points into ops_,
    // which grows only at key lines, and those reset it.
    RegCreateKey* current_ = nullptr;
    std::optional<ParseError> error_;
};

ParseResult<std::vector<RegOperation>> Parser::Run() {
    ParseResult<std::vector<RegOperation>> result;
    bool ok = Header();
    bool afterKey = false;
    std::u16string_view line;
    while (ok && lines_.Next(line)) {
        bool wasAfterKey = afterKey;
        afterKey = false;
        std::u16string_view body = TrimLeft(line);
        if (body.empty()) continue;
        if (body.front() == u';') {
            ok = LastWriteComment(body, wasAfterKey);
        } else if (body.front() == u'[') {
            ok = KeyLine(body);
            afterKey = ok && std::holds_alternative<RegCreateKey>(ops_.back());
        } else if (body.front() == u'@' || body.front() == u'"') {
            ok = ValueLine(body);
        } else {
            ok = Fail("unexpected text " + Quote(body) +
                      "; expected a key line [...], a value line or a comment");
        }
    }
    if (!ok) {
        result.error = std::move(error_);
        return result;
    }
    result.value = std::move(ops_);
    return result;
}

bool Parser::Header() {
    std::u16string_view line;
    lines_.Next(line);  // an empty text still has line 1
    line = TrimRight(line);
    if (line == kHeader5) return true;
    if (line == kHeader4) {
        ansi_ = true;
        return true;
    }
    std::string reason = "missing header 'Windows Registry Editor Version 5.00'";
    if (line.size() >= 2 && line[1] == 0) reason += " (UTF-16 text needs a byte-order mark)";
    return Fail(1, std::move(reason));
}

bool Parser::KeyPath(std::u16string_view text, RegKeyPath& out) {
    static constexpr std::pair<std::u16string_view, RegRoot> kRoots[] = {
        {u"HKEY_CLASSES_ROOT", RegRoot::ClassesRoot},
        {u"HKEY_CURRENT_USER", RegRoot::CurrentUser},
        {u"HKEY_LOCAL_MACHINE", RegRoot::LocalMachine},
        {u"HKEY_USERS", RegRoot::Users},
        {u"HKEY_CURRENT_CONFIG", RegRoot::CurrentConfig}};
    std::size_t slash = text.find(u'\\');
    std::u16string_view rootName = text.substr(0, slash);
    auto root = std::find_if(std::begin(kRoots), std::end(kRoots),
                             [&](const auto& entry) { return EqualsNoCase(entry.first, rootName); });
    if (root == std::end(kRoots))
        return Fail("unknown root key " + Quote(rootName) +
                    "; expected HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS, HKEY_CLASSES_ROOT or "
                    "HKEY_CURRENT_CONFIG");
    out.root = root->second;
    out.subkey.clear();
    if (slash == std::u16string_view::npos) return true;
    std::u16string_view rest = text.substr(slash + 1);
    out.subkey.assign(rest);
    for (std::size_t depth = 1;; ++depth) {
        if (depth > kMaxKeyDepth) return Fail("key path deeper than 512 levels");
        std::size_t end = rest.find(u'\\');
        std::u16string_view name = rest.substr(0, end);
        if (name.empty()) return Fail("empty key name in " + Quote(text));
        // Windows' names end at a NUL: such a key could never be opened by its name.
        if (name.find(u'\0') != std::u16string_view::npos)
            return Fail("key name " + Quote(name) + " contains a NUL character");
        if (name.size() > kMaxKeyNameLength)
            return Fail("key name " + Quote(name) + " is longer than 255 characters");
        if (end == std::u16string_view::npos) return true;
        rest.remove_prefix(end + 1);
    }
}

bool Parser::KeyLine(std::u16string_view line) {
    std::size_t line0 = lines_.Number();
    std::size_t close = line.rfind(u']');
    if (close == std::u16string_view::npos) return Fail("key line " + Quote(line) + " has no closing ']'");
    if (!TrimLeft(line.substr(close + 1)).empty()) return Fail("unexpected text after the key line's ']'");
    std::u16string_view inner = line.substr(1, close - 1);
    bool remove = !inner.empty() && inner.front() == u'-';
    if (remove) inner.remove_prefix(1);
    RegKeyPath path;
    if (!KeyPath(inner, path)) return false;
    if (remove) {
        if (path.subkey.empty()) return Fail("a root key cannot be deleted");
        ops_.push_back(RegDeleteKey{.key = std::move(path), .line = line0});
        current_ = nullptr;
    } else {
        ops_.push_back(
            RegCreateKey{.key = std::move(path), .lastWrite = std::nullopt, .values = {}, .line = line0});
        current_ = &std::get<RegCreateKey>(ops_.back());
    }
    return true;
}

bool Parser::LastWriteComment(std::u16string_view line, bool afterKey) {
    static constexpr std::u16string_view kMarker = u";@LastWrite=";
    if (line.substr(0, kMarker.size()) != kMarker) return true;  // an ordinary comment
    if (!afterKey) return Fail("';@LastWrite=' must come right after a key line [...]");
    std::u16string_view value = TrimRight(line.substr(kMarker.size()));
    std::string narrow = detail::Narrow(value);
    auto ticks = ParseIso8601(narrow);
    if (!ticks)
        return Fail("invalid last-write time " + Quote(value) +
                    "; expected ISO 8601 such as 2024-01-31T12:00:00Z");
    std::get<RegCreateKey>(ops_.back()).lastWrite = ticks;
    return true;
}

bool Parser::Quoted(std::u16string_view line, std::size_t& pos, std::u16string& out) {
    // pos is at the opening quote.
    for (std::size_t i = pos + 1; i < line.size(); ++i) {
        char16_t c = line[i];
        if (c == u'"') {
            pos = i + 1;
            return true;
        }
        if (c == u'\\') {
            if (i + 1 >= line.size()) break;
            char16_t next = line[++i];
            if (next != u'\\' && next != u'"')
                return Fail("unknown escape sequence " + Quote(line.substr(i - 1, 2)) +
                            " in a string (only \\\\ and \\\" are escapes)");
            out += next;
            continue;
        }
        out += c;
    }
    return Fail("unterminated string");
}

bool Parser::HexList(std::u16string_view rest, std::vector<std::uint8_t>& out) {
    bool expectByte = true;  // at the start and after a comma
    bool any = false;
    std::u16string_view segment = rest;
    while (true) {
        segment = TrimRight(segment);
        bool continues = !segment.empty() && segment.back() == u'\\';
        if (continues) segment.remove_suffix(1);
        std::size_t i = 0;
        while (i < segment.size()) {
            char16_t c = segment[i];
            if (IsBlank(c)) {
                ++i;
            } else if (c == u',') {
                if (expectByte) return Fail("expected a hex byte before ','");
                expectByte = true;
                ++i;
            } else {
                std::size_t end = i;
                while (end < segment.size() && segment[end] != u',' && !IsBlank(segment[end])) ++end;
                std::u16string_view token = segment.substr(i, end - i);
                if (!expectByte) return Fail("expected ',' between hex bytes before " + Quote(token));
                int high = HexDigit(token[0]);
                int low = token.size() == 2 ? HexDigit(token[1]) : 0;
                if (token.size() > 2 || high < 0 || low < 0) return Fail("invalid hex byte " + Quote(token));
                out.push_back(static_cast<std::uint8_t>(token.size() == 2 ? high << 4 | low : high));
                expectByte = false;
                any = true;
                i = end;
            }
        }
        if (!continues) break;
        std::u16string_view next;
        if (!lines_.Next(next)) return Fail("hex data continues past the end of the file");
        segment = TrimLeft(next);
    }
    if (any && expectByte) return Fail("hex data ends with a comma");
    return true;
}

bool Parser::ValueLine(std::u16string_view line) {
    std::size_t line0 = lines_.Number();
    if (!current_) return Fail("expected a key line [...] before values");
    std::u16string name;
    std::size_t pos = 0;
    if (line.front() == u'@') {
        pos = 1;
    } else if (!Quoted(line, pos, name)) {
        return false;
    } else if (name.find(u'\0') != std::u16string::npos) {
        return Fail("value name " + Quote(name) + " contains a NUL character");
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != u'=') return Fail("expected '=' after the value name");
    ++pos;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    std::u16string_view data = line.substr(pos);

    if (!data.empty() && data.front() == u'-') {
        if (!TrimRight(data.substr(1)).empty()) return Fail("unexpected text after '-'");
        current_->values.push_back(RegDeleteValue{.name = std::move(name), .line = line0});
        return true;
    }

    RegSetValue value{.name = std::move(name), .type = 0, .data = {}, .line = line0};
    if (!data.empty() && data.front() == u'"') {
        std::u16string text;
        std::size_t end = 0;
        if (!Quoted(data, end, text)) return false;
        if (!TrimRight(data.substr(end)).empty()) return Fail("unexpected text after the closing quote");
        value.type = kRegSz;
        value.data.reserve((text.size() + 1) * 2);
        AppendUtf16Le(value.data, text);
        AppendUtf16Le(value.data, std::u16string_view(u"\0", 1));
    } else if (StartsWithNoCase(data, u"dword:")) {
        auto number = HexNumber(TrimRight(data.substr(6)));
        if (!number) return Fail("dword value needs 1 to 8 hex digits");
        value.type = kRegDword;
        for (int shift = 0; shift < 32; shift += 8)
            value.data.push_back(static_cast<std::uint8_t>(*number >> shift));
    } else if (StartsWithNoCase(data, u"hex:")) {
        value.type = kRegBinary;
        if (!HexList(data.substr(4), value.data)) return false;
    } else if (StartsWithNoCase(data, u"hex(")) {
        std::size_t close = data.find(u')');
        auto type = close == std::u16string_view::npos ? std::nullopt : HexNumber(data.substr(4, close - 4));
        if (!type)
            return Fail("invalid value type in " +
                        Quote(data.substr(0, close == std::u16string_view::npos ? data.size() : close + 1)) +
                        "; expected hex(N) with 1 to 8 hex digits");
        if (close + 1 >= data.size() || data[close + 1] != u':') return Fail("expected ':' after 'hex(N)'");
        value.type = *type;
        if (!HexList(data.substr(close + 2), value.data)) return false;
        if (ansi_ && (value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz)) {
            // REGEDIT4 writes string data in the ANSI code page; Windows stores it as UTF-16.
            std::vector<std::uint8_t> wide;
            wide.reserve(value.data.size() * 2);
            for (std::uint8_t b : value.data) {
                char16_t c = FromCp1252(b);
                wide.push_back(static_cast<std::uint8_t>(c & 0xFF));
                wide.push_back(static_cast<std::uint8_t>(c >> 8));
            }
            value.data = std::move(wide);
        }
    } else {
        return Fail("unknown value data " + Quote(data) + "; expected \"string\", dword:, hex: or hex(N):");
    }
    current_->values.push_back(std::move(value));
    return true;
}

}  // namespace

std::u16string_view RegRootName(RegRoot root) {
    switch (root) {
        case RegRoot::ClassesRoot:
            return u"HKEY_CLASSES_ROOT";
        case RegRoot::CurrentUser:
            return u"HKEY_CURRENT_USER";
        case RegRoot::LocalMachine:
            return u"HKEY_LOCAL_MACHINE";
        case RegRoot::Users:
            return u"HKEY_USERS";
        case RegRoot::CurrentConfig:
            return u"HKEY_CURRENT_CONFIG";
    }
    return u"";
}

std::u16string RegKeyPath::FullPath() const {
    std::u16string out(RegRootName(root));
    if (!subkey.empty()) {
        out += u'\\';
        out += subkey;
    }
    return out;
}

ParseResult<std::vector<RegOperation>> ParseRegFile(std::span<const std::uint8_t> bytes,
                                                    std::string_view file) {
    Decoded decoded = Decode(bytes);
    ParseResult<std::vector<RegOperation>> result;
    if (decoded.error) {
        result.error = std::move(decoded.error);
    } else {
        result = Parser(decoded.text, decoded.ansi).Run();
    }
    if (result.error) result.error->file = std::string(file);
    return result;
}

ParseResult<std::vector<RegOperation>> ParseRegFile(std::string_view bytes, std::string_view file) {
    return ParseRegFile(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), file);
}

}  // namespace hostlens::sim::machinedir
