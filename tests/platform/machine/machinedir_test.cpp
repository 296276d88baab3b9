// The machine directory's file parsers: registry exports, machine.json and WMI class
// files, read into plain data or rejected with the file, place and reason.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/machine/directory/iso8601.h"
#include "platform/posix/machine/directory/machine_json.h"
#include "platform/posix/machine/directory/reg_file.h"
#include "platform/posix/machine/directory/wmi_class_file.h"

namespace hostlens::sim::machinedir {
namespace {

using Bytes = std::vector<std::uint8_t>;

// "61 00 ff" -> {0x61, 0x00, 0xff}
Bytes Hex(std::string_view text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size() + 1; i += 3)
        out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    return out;
}

// UTF-8 text to UTF-16LE bytes with a byte-order mark, as regedit saves a file.
std::string Utf16File(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

// 2024-01-31T12:00:00Z as a FILETIME.
constexpr FileTimeTicks kJan31Noon = 133511760000000000ULL;

// The values of the file's only key section.
const std::vector<RegValueOperation>& Values(const ParseResult<std::vector<RegOperation>>& result) {
    static const std::vector<RegValueOperation> kNone;
    if (!result.ok() || result.value.size() != 1 || !std::holds_alternative<RegCreateKey>(result.value[0]))
        return kNone;
    return std::get<RegCreateKey>(result.value[0]).values;
}

const RegSetValue& SetValue(const ParseResult<std::vector<RegOperation>>& result, std::size_t index) {
    static const RegSetValue kNone;
    const auto& values = Values(result);
    if (index >= values.size() || !std::holds_alternative<RegSetValue>(values[index])) return kNone;
    return std::get<RegSetValue>(values[index]);
}

TEST(RegFile, ValueTypesAreStoredAsWindowsStoresThem) {
    struct Case {
        std::string line;
        std::u16string name;
        std::uint32_t type;
        std::string bytes;
    };
    const Case cases[] = {
        {R"("s"="abc")", u"s", 1, "61 00 62 00 63 00 00 00"},
        {R"("s"="")", u"s", 1, "00 00"},
        {R"("s"="a\\b\"c")", u"s", 1, "61 00 5c 00 62 00 22 00 63 00 00 00"},
        {R"("s"="[x];y=z")", u"s", 1, "5b 00 78 00 5d 00 3b 00 79 00 3d 00 7a 00 00 00"},
        {"\"s\"=\"\xC3\xA9\xE2\x82\xAC\"", u"s", 1, "e9 00 ac 20 00 00"},
        {"\"s\"=\"\xF0\x9F\x98\x80\"", u"s", 1, "3d d8 00 de 00 00"},
        {R"(@="default")", u"", 1, "64 00 65 00 66 00 61 00 75 00 6c 00 74 00 00 00"},
        {R"("na\"me\\" = "x")", u"na\"me\\", 1, "78 00 00 00"},
        {R"("d"=dword:00000001)", u"d", 4, "01 00 00 00"},
        {R"("d"=dword:ffffffff)", u"d", 4, "ff ff ff ff"},
        {R"("d"=DWORD:1A2b  )", u"d", 4, "2b 1a 00 00"},
        {R"("b"=hex:de,ad,BE,ef)", u"b", 3, "de ad be ef"},
        {R"("b"=hex: de , ad ,f)", u"b", 3, "de ad 0f"},
        {R"("b"=hex:)", u"b", 3, ""},
        {R"("n"=hex(0):)", u"n", 0, ""},
        {R"("e"=hex(2):25,00,41,00,25,00,00,00)", u"e", 2, "25 00 41 00 25 00 00 00"},
        {R"("r"=hex(5):00,00,00,01)", u"r", 5, "00 00 00 01"},
        {R"("l"=hex(6):5c,00)", u"l", 6, "5c 00"},
        {R"("m"=hex(7):61,00,00,00,62,00,00,00,00,00)", u"m", 7, "61 00 00 00 62 00 00 00 00 00"},
        {R"("r"=hex(8):01)", u"r", 8, "01"},
        {R"("r"=hex(9):02)", u"r", 9, "02"},
        {R"("r"=hex(a):03)", u"r", 10, "03"},
        {R"("q"=hex(b):01,00,00,00,00,00,00,80)", u"q", 11, "01 00 00 00 00 00 00 80"},
        {R"("x"=HEX(FFFF0000):aa)", u"x", 0xFFFF0000, "aa"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        auto result =
            ParseRegFile(std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n" + c.line + "\r\n");
        ASSERT_TRUE(result.ok()) << result.error->Message();
        ASSERT_EQ(Values(result).size(), 1u);
        const RegSetValue& value = SetValue(result, 0);
        EXPECT_EQ(value.name, c.name);
        EXPECT_EQ(value.type, c.type);
        EXPECT_EQ(value.data, c.bytes.empty() ? Bytes{} : Hex(c.bytes));
        EXPECT_EQ(value.line, 4u);
    }
}

TEST(RegFile, OperationsComeInFileOrderWithTheirKeysAndLines) {
    const std::string text = std::string(kHeader) +
                             "; exported for a test\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Vendor]\r\n"
                             "\"a\"=\"1\"\r\n"
                             "  \"gone\"=-\r\n"
                             "@=-\r\n"
                             "\r\n"
                             "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
                             "[hkey_users]\r\n"
                             "[HKEY_CLASSES_ROOT\\.txt]\r\n"
                             "[HKEY_CURRENT_CONFIG\\System\\]x]\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Vendor]\r\n"
                             "\"b\"=dword:2\r\n";
    auto result = ParseRegFile(text);
    ASSERT_TRUE(result.ok()) << result.error->Message();
    ASSERT_EQ(result.value.size(), 6u);

    const auto& create = std::get<RegCreateKey>(result.value[0]);
    EXPECT_EQ(create.key.root, RegRoot::LocalMachine);
    EXPECT_EQ(create.key.subkey, u"SOFTWARE\\WOW6432Node\\Vendor");
    EXPECT_EQ(create.line, 4u);
    EXPECT_FALSE(create.lastWrite.has_value());
    ASSERT_EQ(create.values.size(), 3u);

    const auto& set = std::get<RegSetValue>(create.values[0]);
    EXPECT_EQ(set.name, u"a");
    EXPECT_EQ(set.line, 5u);
    const auto& deleteNamed = std::get<RegDeleteValue>(create.values[1]);
    EXPECT_EQ(deleteNamed.name, u"gone");
    EXPECT_EQ(deleteNamed.line, 6u);
    EXPECT_EQ(std::get<RegDeleteValue>(create.values[2]).name, u"");

    const auto& removed = std::get<RegDeleteKey>(result.value[1]);
    EXPECT_EQ(removed.key.FullPath(), u"HKEY_CURRENT_USER\\Software\\Old");
    EXPECT_EQ(removed.line, 9u);

    // Root names are matched without case and reported in their usual spelling.
    const auto& users = std::get<RegCreateKey>(result.value[2]);
    EXPECT_EQ(users.key.root, RegRoot::Users);
    EXPECT_EQ(users.key.subkey, u"");
    EXPECT_EQ(users.key.FullPath(), u"HKEY_USERS");
    EXPECT_TRUE(users.values.empty());
    EXPECT_EQ(std::get<RegCreateKey>(result.value[3]).key.FullPath(), u"HKEY_CLASSES_ROOT\\.txt");
    // A key name may contain ']': the key line ends at the last one.
    EXPECT_EQ(std::get<RegCreateKey>(result.value[4]).key.FullPath(), u"HKEY_CURRENT_CONFIG\\System\\]x");
    // A key given twice is two sections, each with its own values.
    const auto& again = std::get<RegCreateKey>(result.value[5]);
    EXPECT_EQ(again.key, create.key);
    ASSERT_EQ(again.values.size(), 1u);
    EXPECT_EQ(std::get<RegSetValue>(again.values[0]).line, 14u);
}

TEST(RegFile, EveryEncodingAndLineEndingGivesTheSameOperations) {
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\n\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Caf\u00e9 \u65e5\u672c]\n"
        u";@LastWrite=2024-01-31T12:00:00Z\n"
        u"\"Name \u00e9\"=\"\u20ac \U0001F600\"\n"
        u"\"Bin\"=hex:01,02,\\\n"
        u"  03\n";
    std::string utf8;
    for (char16_t c : text) {
        // The text is BMP-only except the emoji's surrogates, which are re-encoded below.
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c >= 0xD800 && c <= 0xDBFF) {
            utf8 += "\xF0\x9F\x98\x80";
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            continue;
        } else {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    std::u16string crlf;
    for (char16_t c : text) {
        if (c == u'\n') crlf += u'\r';
        crlf += c;
    }
    std::string utf8Crlf;
    for (char c : utf8) {
        if (c == '\n') utf8Crlf += '\r';
        utf8Crlf += c;
    }
    const std::pair<const char*, std::string> inputs[] = {
        {"UTF-16LE, CRLF", Utf16File(crlf)},
        {"UTF-16LE, LF", Utf16File(text)},
        {"UTF-8, LF", utf8},
        {"UTF-8, CRLF", utf8Crlf},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + utf8Crlf},
    };
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        auto result = ParseRegFile(bytes);
        ASSERT_TRUE(result.ok()) << result.error->Message();
        ASSERT_EQ(Values(result).size(), 2u);
        const auto& key = std::get<RegCreateKey>(result.value[0]);
        EXPECT_EQ(key.key.subkey, u"SOFTWARE\\Caf\u00e9 \u65e5\u672c");
        EXPECT_EQ(key.lastWrite, kJan31Noon);
        const auto& string = SetValue(result, 0);
        EXPECT_EQ(string.name, u"Name \u00e9");
        EXPECT_EQ(string.data, Hex("ac 20 20 00 3d d8 00 de 00 00"));
        EXPECT_EQ(SetValue(result, 1).data, Hex("01 02 03"));
    }
}

TEST(RegFile, Regedit4FilesAreAnsiAndTheirStringDataIsWidened) {
    // Windows-1252: 0x80 is the euro sign, 0xE9 is e-acute.
    const std::string text =
        "REGEDIT4\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Caf\xE9]\r\n"
        "\"s\"=\"\x80\"\r\n"
        "\"e\"=hex(2):25,80,00\r\n"
        "\"m\"=hex(7):61,00,00\r\n"
        "\"b\"=hex:80\r\n"
        "\"d\"=dword:00000002\r\n";
    auto result = ParseRegFile(text);
    ASSERT_TRUE(result.ok()) << result.error->Message();
    ASSERT_EQ(Values(result).size(), 5u);
    EXPECT_EQ(std::get<RegCreateKey>(result.value[0]).key.subkey, u"SOFTWARE\\Caf\u00e9");
    EXPECT_EQ(SetValue(result, 0).data, Hex("ac 20 00 00"));
    EXPECT_EQ(SetValue(result, 1).data, Hex("25 00 ac 20 00 00"));
    EXPECT_EQ(SetValue(result, 2).data, Hex("61 00 00 00 00 00"));
    EXPECT_EQ(SetValue(result, 3).data, Hex("80"));
    EXPECT_EQ(SetValue(result, 4).data, Hex("02 00 00 00"));
}

TEST(RegFile, HexDataContinuesOnTheNextLines) {
    struct Case {
        std::string data;
        std::string bytes;
    };
    const Case cases[] = {
        {"hex:01,02,\\\r\n  03,04", "01 02 03 04"},
        {"hex(7):61,00,\\\n\t00,00,\\\n    62,00,00,00,\\\n  00,00", "61 00 00 00 62 00 00 00 00 00"},
        {"hex:01,\\   \r\n03", "01 03"},
        {"hex:\\\r\n  01,02", "01 02"},
        {"hex(b):00,00,00,00,\\\r\n  00,00,00,01", "00 00 00 00 00 00 00 01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        auto result = ParseRegFile(std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\K]\r\n\"v\"=" + c.data +
                                   "\r\n\"after\"=\"x\"\r\n");
        ASSERT_TRUE(result.ok()) << result.error->Message();
        ASSERT_EQ(Values(result).size(), 2u);
        EXPECT_EQ(SetValue(result, 0).data, Hex(c.bytes));
        // The value after the continued one keeps its own line number.
        std::size_t lines = 4 + static_cast<std::size_t>(std::count(c.data.begin(), c.data.end(), '\n'));
        EXPECT_EQ(SetValue(result, 1).line, lines + 1);
    }
}

TEST(RegFile, LastWriteCommentsSetTheKeyTime) {
    struct Case {
        std::string comment;
        FileTimeTicks ticks;
    };
    const Case cases[] = {
        {";@LastWrite=2024-01-31T12:00:00Z", kJan31Noon},
        {";@LastWrite=2024-01-31T13:00:00+01:00  ", kJan31Noon},
        {";@LastWrite=2024-01-31T07:00:00-0500", kJan31Noon},
        {";@LastWrite=2024-01-31T12:00:00.25Z", kJan31Noon + 2'500'000},
        {"  ;@LastWrite=1601-01-01T00:00:00Z", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.comment);
        auto result = ParseRegFile(std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\r\n" + c.comment +
                                   "\r\n\"v\"=dword:1\r\n[HKEY_LOCAL_MACHINE\\B]\r\n");
        ASSERT_TRUE(result.ok()) << result.error->Message();
        ASSERT_EQ(result.value.size(), 2u);
        EXPECT_EQ(std::get<RegCreateKey>(result.value[0]).lastWrite, c.ticks);
        EXPECT_EQ(std::get<RegCreateKey>(result.value[0]).values.size(), 1u);
        EXPECT_FALSE(std::get<RegCreateKey>(result.value[1]).lastWrite.has_value());
    }
    // Other comments after a key line are just comments.
    auto plain = ParseRegFile(std::string(kHeader) +
                              "[HKEY_LOCAL_MACHINE\\A]\r\n; @LastWrite=garbage\r\n;@Other=1\r\n");
    ASSERT_TRUE(plain.ok()) << plain.error->Message();
    EXPECT_FALSE(std::get<RegCreateKey>(plain.value[0]).lastWrite.has_value());
}

TEST(RegFile, MalformedFilesReportTheLineAndReason) {
    struct Case {
        std::string text;  // after the header and a key line unless it starts with '!'
        std::size_t line;
        std::string reason;
    };
    const std::string longName(256, 'k');
    std::string deep513;
    for (int i = 0; i < 513; ++i) deep513 += "\\k";
    const Case cases[] = {
        {"!", 1, "missing header 'Windows Registry Editor Version 5.00'"},
        {"!REGEDIT5\r\n[HKEY_USERS]\r\n", 1, "missing header 'Windows Registry Editor Version 5.00'"},
        {"! Windows Registry Editor Version 5.00\r\n", 1,
         "missing header 'Windows Registry Editor Version 5.00'"},
        {std::string("!W\0i\0n\0", 6), 1,
         "missing header 'Windows Registry Editor Version 5.00' (UTF-16 text needs a byte-order mark)"},
        {"!\xFE\xFF\0W", 1, "UTF-16 big-endian text is not supported; save the file as UTF-16LE or UTF-8"},
        {"!Windows Registry Editor Version 5.00\r\n\r\n\"a\"=\"b\"\r\n", 3,
         "expected a key line [...] before values"},
        {"[-HKEY_LOCAL_MACHINE\\K]\r\n\"a\"=\"b\"\r\n", 5, "expected a key line [...] before values"},
        {"[HKEY_LOCAL_MACHINE\\A", 4, "key line '[HKEY_LOCAL_MACHINE\\A' has no closing ']'"},
        {"[HKEY_LOCAL_MACHINE\\A] x", 4, "unexpected text after the key line's ']'"},
        {"[HKLM\\A]", 4,
         "unknown root key 'HKLM'; expected HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS, "
         "HKEY_CLASSES_ROOT or "
         "HKEY_CURRENT_CONFIG"},
        {"[]", 4,
         "unknown root key ''; expected HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS, HKEY_CLASSES_ROOT "
         "or "
         "HKEY_CURRENT_CONFIG"},
        {"[HKEY_LOCAL_MACHINE\\A\\\\B]", 4, "empty key name in 'HKEY_LOCAL_MACHINE\\A\\\\B'"},
        {"[HKEY_LOCAL_MACHINE\\A\\]", 4, "empty key name in 'HKEY_LOCAL_MACHINE\\A\\'"},
        {"[HKEY_LOCAL_MACHINE\\" + longName + "]", 4,
         "key name '" + longName.substr(0, 40) + "...' is longer than 255 characters"},
        {"[-HKEY_LOCAL_MACHINE]", 4, "a root key cannot be deleted"},
        {"[HKEY_LOCAL_MACHINE" + deep513 + "]", 4, "key path deeper than 512 levels"},
        {"\"a\"=\"unterminated", 4, "unterminated string"},
        {"\"a\"=\"ends in a backslash\\", 4, "unterminated string"},
        {"\"unterminated name=1", 4, "unterminated string"},
        {"\"a\"=\"x\\n\"", 4, "unknown escape sequence '\\n' in a string (only \\\\ and \\\" are escapes)"},
        {"\"a\\t\"=\"x\"", 4, "unknown escape sequence '\\t' in a string (only \\\\ and \\\" are escapes)"},
        {"\"a\"", 4, "expected '=' after the value name"},
        {"@ \"x\"", 4, "expected '=' after the value name"},
        {"\"a\"=\"x\" y", 4, "unexpected text after the closing quote"},
        {"\"a\"=-x", 4, "unexpected text after '-'"},
        {"\"a\"=dword:", 4, "dword value needs 1 to 8 hex digits"},
        {"\"a\"=dword:123456789", 4, "dword value needs 1 to 8 hex digits"},
        {"\"a\"=dword:12g", 4, "dword value needs 1 to 8 hex digits"},
        {"\"a\"=dword:-1", 4, "dword value needs 1 to 8 hex digits"},
        {"\"a\"=dword:1 2", 4, "dword value needs 1 to 8 hex digits"},
        {"\"a\"=hex:01,,02", 4, "expected a hex byte before ','"},
        {"\"a\"=hex:,01", 4, "expected a hex byte before ','"},
        {"\"a\"=hex:123", 4, "invalid hex byte '123'"},
        {"\"a\"=hex:zz", 4, "invalid hex byte 'zz'"},
        {"\"a\"=hex:01 02", 4, "expected ',' between hex bytes before '02'"},
        {"\"a\"=hex:01, ; comment", 4, "invalid hex byte ';'"},
        {"\"a\"=hex:01,", 4, "hex data ends with a comma"},
        {"\"a\"=hex:01,\\", 4, "hex data continues past the end of the file"},
        {"\"a\"=hex:01,\\\r\n  02,\\\r\n  zz,03\r\n", 6, "invalid hex byte 'zz'"},
        {"\"a\"=hex:01,\\\r\n\r\n\"b\"=\"x\"", 5, "hex data ends with a comma"},
        {"\"a\"=hex:01\\\r\n  02", 5, "expected ',' between hex bytes before '02'"},
        {"\"a\"=hex(2:00", 4, "invalid value type in 'hex(2:00'; expected hex(N) with 1 to 8 hex digits"},
        {"\"a\"=hex():00", 4, "invalid value type in 'hex()'; expected hex(N) with 1 to 8 hex digits"},
        {"\"a\"=hex(123456789):00", 4,
         "invalid value type in 'hex(123456789)'; expected hex(N) with 1 to 8 hex digits"},
        {"\"a\"=hex(2)00", 4, "expected ':' after 'hex(N)'"},
        {"\"a\"=str:x", 4, "unknown value data 'str:x'; expected \"string\", dword:, hex: or hex(N):"},
        {"\"a\"=", 4, "unknown value data ''; expected \"string\", dword:, hex: or hex(N):"},
        {"\"a\"=qword:1", 4, "unknown value data 'qword:1'; expected \"string\", dword:, hex: or hex(N):"},
        {"HKEY_LOCAL_MACHINE\\B", 4,
         "unexpected text 'HKEY_LOCAL_MACHINE\\B'; expected a key line [...], a value line or a comment"},
        {"\"a\"=\"b\"\r\n;@LastWrite=2024-01-31T12:00:00Z", 5,
         "';@LastWrite=' must come right after a key line [...]"},
        {"\r\n;@LastWrite=2024-01-31T12:00:00Z", 5, "';@LastWrite=' must come right after a key line [...]"},
        {";@LastWrite=2024-01-31T12:00:00Z\r\n;@LastWrite=2024-01-31T12:00:00Z", 5,
         "';@LastWrite=' must come right after a key line [...]"},
        {"[-HKEY_LOCAL_MACHINE\\K]\r\n;@LastWrite=2024-01-31T12:00:00Z", 5,
         "';@LastWrite=' must come right after a key line [...]"},
        {";@LastWrite=2024-01-31", 4,
         "invalid last-write time '2024-01-31'; expected ISO 8601 such as 2024-01-31T12:00:00Z"},
        {";@LastWrite=2024-01-31T12:00:00", 4,
         "invalid last-write time '2024-01-31T12:00:00'; expected ISO 8601 such as 2024-01-31T12:00:00Z"},
        {"\"a\"=\"b\"\r\n\"c\"=\"\xC3\x28\"", 5, "invalid UTF-8"},
        {"\"a\"=\"\xC0\xAF\"", 4, "invalid UTF-8"},
        {"\"a\"=\"\xED\xA0\x80\"", 4, "invalid UTF-8"},
        {"\"a\"=\"\xF4\x90\x80\x80\"", 4, "invalid UTF-8"},
        {"\"a\"=\"\xE2\x82", 4, "invalid UTF-8"},
        // Windows' names end at a NUL: such a name could never be opened.
        {std::string("[HKEY_LOCAL_MACHINE\\A\0B]", 24), 4, "key name 'A\\u0000B' contains a NUL character"},
        {std::string("\"a\0\"=\"x\"", 8), 4, "value name 'a\\u0000' contains a NUL character"},
        // Quoted input is cut short and its control characters spelled out.
        {"\x1B[2J" + std::string(100000, 'x'), 4,
         "unexpected text '\\u001B[2J" + std::string(36, 'x') +
             "...'; expected a key line [...], a value line or a comment"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text.starts_with('!')
                               ? c.text.substr(1)
                               : std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\K]\r\n" + c.text;
        auto result = ParseRegFile(text, "registry/test.reg");
        ASSERT_FALSE(result.ok());
        EXPECT_TRUE(result.value.empty());
        EXPECT_EQ(result.error->line, c.line);
        EXPECT_EQ(result.error->reason, c.reason);
        EXPECT_EQ(result.error->Message(),
                  "registry/test.reg: line " + std::to_string(c.line) + ": " + c.reason);
    }
}

TEST(RegFile, KeyPathsUpToWindowsLimitsAreAccepted) {
    std::string deep512;
    for (int i = 0; i < 512; ++i) deep512 += "\\k";
    const std::string name255(255, 'n');
    auto result = ParseRegFile(std::string(kHeader) + "[HKEY_LOCAL_MACHINE" + deep512 + "]\r\n[HKEY_USERS\\" +
                               name255 + "]\r\n");
    ASSERT_TRUE(result.ok()) << result.error->Message();
    EXPECT_EQ(std::get<RegCreateKey>(result.value[0]).key.subkey.size(), 512u * 2 - 1);
    EXPECT_EQ(std::get<RegCreateKey>(result.value[1]).key.subkey.size(), 255u);
}

TEST(RegFile, MalformedUtf16FilesReportTheLine) {
    const std::u16string head = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS]\r\n";
    struct Case {
        std::string bytes;
        std::string message;
    };
    const Case cases[] = {
        {Utf16File(head) + "x",
         "line 4: UTF-16 text ends in the middle of a character (odd number of bytes)"},
        {Utf16File(head + u"\"a\"=hex:0g\r\n"), "line 4: invalid hex byte '0g'"},
        // Unpaired surrogates are no characters, in UTF-16 as in UTF-8.
        {Utf16File(head + u"\"a\"=\"\xD800\"\r\n"), "line 4: invalid UTF-16: an unpaired surrogate"},
        {Utf16File(head + u"\"a\"=\"\xDC00\xD800\"\r\n"), "line 4: invalid UTF-16: an unpaired surrogate"},
        {Utf16File(head + u"\r\n\"\xD83D\"=\"x\""), "line 5: invalid UTF-16: an unpaired surrogate"},
        {Utf16File(head + u"\"a\"=\"\xD83D\xDE00\"\r\n\xD83D"),
         "line 5: invalid UTF-16: an unpaired surrogate"},
    };
    for (const Case& c : cases) {
        auto result = ParseRegFile(c.bytes);
        ASSERT_FALSE(result.ok()) << c.message;
        EXPECT_EQ(result.error->Message(), c.message);
    }
}

// However a file is cut short, the parser answers with operations or with an error on
// a line of the file.
TEST(RegFile, EveryPrefixOfAFileParsesOrFailsOnOneOfItsLines) {
    const std::string text = std::string(kHeader) +
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n;@LastWrite=2024-01-31T12:00:00Z\r\n"
                             "\"s\"=\"a\\\\b\\\"\"\r\n\"d\"=dword:0000abcd\r\n\"m\"=hex(7):61,00,00,00,\\\r\n"
                             "  00,00\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\r\n";
    for (const std::string& file :
         {text, Utf16File(u"Windows Registry Editor Version 5.00\r\n[HKEY_USERS\\S]\r\n"
                          u"\"v\"=hex(b):01,02,\\\r\n  03\r\n")}) {
        std::size_t lines = 1 + static_cast<std::size_t>(std::count(file.begin(), file.end(), '\n'));
        for (std::size_t size = 0; size <= file.size(); ++size) {
            SCOPED_TRACE(size);
            auto result = ParseRegFile(std::string_view(file).substr(0, size));
            if (!result.ok()) {
                EXPECT_GE(result.error->line, 1u);
                EXPECT_LE(result.error->line, lines);
                EXPECT_FALSE(result.error->reason.empty());
            }
        }
    }
}

TEST(Iso8601, ReadsUtcAndOffsetTimesAndRejectsTheRest) {
    struct Case {
        std::string text;
        std::optional<FileTimeTicks> ticks;
    };
    const Case cases[] = {
        {"2024-01-31T12:00:00Z", kJan31Noon},
        {"2024-01-31T14:30:00+02:30", kJan31Noon},
        {"2024-01-31T00:00:00-1200", kJan31Noon},
        {"2024-01-31T12:00:00.1234567Z", kJan31Noon + 1'234'567},
        {"2024-01-31T12:00:00.123456789Z", kJan31Noon + 1'234'567},
        {"2024-01-31T12:00:00,5Z", kJan31Noon + 5'000'000},
        {"1601-01-01T00:00:00Z", 0},
        {"1970-01-01T00:00:00Z", 116444736000000000ULL},
        {"2024-02-29T00:00:00Z", 133536384000000000ULL},
        {"2000-02-29T00:00:00Z", 125962560000000000ULL},
        {"2023-02-29T00:00:00Z", std::nullopt},
        {"1900-02-29T00:00:00Z", std::nullopt},
        {"2024-04-31T00:00:00Z", std::nullopt},
        {"2024-01-31 12:00:00Z", std::nullopt},
        {"2024-01-31T12:00:00", std::nullopt},
        {"2024-01-31T12:00Z", std::nullopt},
        {"2024-13-01T00:00:00Z", std::nullopt},
        {"2024-00-01T00:00:00Z", std::nullopt},
        {"2024-01-31T24:00:00Z", std::nullopt},
        {"2024-01-31T12:60:00Z", std::nullopt},
        {"2024-01-31T12:00:60Z", std::nullopt},
        {"2024-01-31T12:00:00.Z", std::nullopt},
        {"2024-01-31T12:00:00Zjunk", std::nullopt},
        {"2024-01-31T12:00:00+1", std::nullopt},
        {"1600-12-31T23:59:59Z", std::nullopt},
        {"1601-01-01T00:00:00+01:00", std::nullopt},
        {"+2024-01-31T12:00:00Z", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseIso8601(c.text), c.ticks);
    }
}

TEST(MachineJson, ReadsEveryFact) {
    const std::string text = R"({
        "os": {"platformId": 2, "major": 6, "minor": 1, "build": 7601, "servicePackMajor": 1,
               "servicePackMinor": 0, "productType": 3, "suiteMask": 274, "productInfo": 7,
               "csdVersion": "Service Pack 1"},
        "architecture": {"native": "arm64", "process": "x64", "x64Emulation": true},
        "systemMetrics": {"SM_SERVERR2": 1, "SM_CXSCREEN": 1920, "4096": -1},
        "ansiCodePage": 1252,
        "computerNames": {"netbios": "HOST01", "dnsHostname": "host01", "dnsDomain": "corp.example",
                          "dnsFullyQualified": "host01.corp.example", "physicalNetbios": "HOST01",
                          "physicalDnsHostname": "host01", "physicalDnsDomain": "corp.example",
                          "physicalDnsFullyQualified": "host01.corp.example"},
        "clock": "2024-01-31T12:00:00Z",
        "tickCount": 123456789012,
        "timeZoneBias": -60,
        "power": {"acLineStatus": 1, "batteryFlag": 128, "batteryLifePercent": 255, "systemStatusFlag": 0,
                  "batteryLifeTime": 4294967295, "batteryFullLifeTime": 4294967295}
    })";
    auto result = ParseMachineJson(text);
    ASSERT_TRUE(result.ok()) << result.error->Message();
    const MachineDescription& m = result.value;
    ASSERT_TRUE(m.os.has_value());
    EXPECT_EQ(m.os->platformId, 2u);
    EXPECT_EQ(m.os->major, 6u);
    EXPECT_EQ(m.os->minor, 1u);
    EXPECT_EQ(m.os->build, 7601u);
    EXPECT_EQ(m.os->servicePackMajor, 1);
    EXPECT_EQ(m.os->servicePackMinor, 0);
    EXPECT_EQ(m.os->productType, 3);
    EXPECT_EQ(m.os->suiteMask, 274);
    EXPECT_EQ(m.os->productInfo, 7u);
    EXPECT_EQ(m.os->csdVersion, u"Service Pack 1");
    EXPECT_EQ(m.architecture->native, Architecture::Arm64);
    EXPECT_EQ(m.architecture->process, Architecture::X64);
    EXPECT_EQ(m.architecture->x64Emulation, true);
    EXPECT_EQ(m.systemMetrics, (std::map<int, int>{{0, 1920}, {89, 1}, {4096, -1}}));
    EXPECT_EQ(m.ansiCodePage, 1252u);
    EXPECT_EQ(m.computerNames->netbios, u"HOST01");
    EXPECT_EQ(m.computerNames->dnsDomain, u"corp.example");
    EXPECT_EQ(m.computerNames->physicalDnsFullyQualified, u"host01.corp.example");
    EXPECT_EQ(m.clock, kJan31Noon);
    EXPECT_EQ(m.tickCount, 123456789012u);
    EXPECT_EQ(m.timeZoneBias, -60);
    EXPECT_EQ(m.power->acLineStatus, 1);
    EXPECT_EQ(m.power->batteryFlag, 128);
    EXPECT_EQ(m.power->batteryLifePercent, 255);
    EXPECT_EQ(m.power->systemStatusFlag, 0);
    EXPECT_EQ(m.power->batteryLifeTime, 0xFFFFFFFFu);
}

TEST(MachineJson, LeavesOutWhatTheFileLeavesOut) {
    for (const std::string text : {"{}", "\xEF\xBB\xBF{}", " {\"os\": {}} ", "{\"systemMetrics\": {}}"}) {
        SCOPED_TRACE(text);
        auto result = ParseMachineJson(text);
        ASSERT_TRUE(result.ok()) << result.error->Message();
        EXPECT_FALSE(result.value.architecture.has_value());
        EXPECT_FALSE(result.value.clock.has_value());
        EXPECT_TRUE(result.value.systemMetrics.empty());
        if (result.value.os) {
            EXPECT_FALSE(result.value.os->major.has_value());
        }
    }
    auto text = ParseMachineJson(R"({"os": {"csdVersion": "Service Pack 1 \u00e9\ud83d\ude00"}})");
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(text.value.os->csdVersion, u"Service Pack 1 \u00e9\U0001F600");
}

TEST(MachineJson, RejectsUnknownMembersWrongTypesAndValuesOutOfRange) {
    struct Case {
        std::string text;
        std::string message;
    };
    const std::string deep = "{\"os\": " + std::string(100, '[') + std::string(100, ']') + "}";
    const Case cases[] = {
        {R"({"os": {"majr": 6}})", "machine.json: /os/majr: unknown member"},
        {R"({"OS": {}})", "machine.json: /OS: unknown member"},
        {R"({"a/b~c": 1})", "machine.json: /a~1b~0c: unknown member"},
        {R"([])", "machine.json: expected an object, got an array"},
        {R"({"os": []})", "machine.json: /os: expected an object, got an array"},
        {R"({"os": {"major": "6"}})",
         "machine.json: /os/major: expected an integer from 0 to 4294967295, got the string \"6\""},
        {R"({"os": {"major": null}})",
         "machine.json: /os/major: expected an integer from 0 to 4294967295, got null"},
        {R"({"os": {"major": -1}})",
         "machine.json: /os/major: out of range: expected an integer from 0 to 4294967295, got the number "
         "-1"},
        {R"({"os": {"major": 4294967296}})",
         "machine.json: /os/major: out of range: expected an integer from 0 to 4294967295, got the number "
         "4294967296"},
        {R"({"os": {"major": 6.5}})",
         "machine.json: /os/major: expected an integer from 0 to 4294967295 (without fraction or exponent), "
         "got the "
         "number 6.5"},
        {R"({"os": {"major": 6e0}})",
         "machine.json: /os/major: expected an integer from 0 to 4294967295 (without fraction or exponent), "
         "got the "
         "number 6.0"},
        {R"({"os": {"major": 1e30}})",
         "machine.json: /os/major: out of range: expected an integer from 0 to 4294967295"},
        {R"({"os": {"servicePackMajor": 65536}})",
         "machine.json: /os/servicePackMajor: out of range: expected an integer from 0 to 65535, got the "
         "number 65536"},
        {R"({"os": {"productType": 4}})",
         "machine.json: /os/productType: out of range: expected an integer from 1 to 3, got the number 4"},
        {R"({"os": {"productType": 0}})",
         "machine.json: /os/productType: out of range: expected an integer from 1 to 3, got the number 0"},
        {R"({"os": {"csdVersion": 1}})", "machine.json: /os/csdVersion: expected a string, got the number 1"},
        // Long strings are cut short in messages, at a character boundary.
        {"{\"clock\": \"" + std::string(38, 'x') + "\xC3\xA9" + std::string(40, 'y') + "\"}",
         "machine.json: /clock: expected an ISO 8601 time such as \"2024-01-31T12:00:00Z\", got the string "
         "\"" +
             std::string(38, 'x') + "...\""},
        {"{\"os\": {\"csdVersion\": \"" + std::string(128, 'x') + "\"}}",
         "machine.json: /os/csdVersion: longer than 127 characters"},
        {R"({"os": {"platformId": 3}})",
         "machine.json: /os/platformId: out of range: expected an integer from 0 to 2, got the number 3"},
        {R"({"architecture": {"native": "X64"}})",
         "machine.json: /architecture/native: expected \"x86\", \"x64\", \"arm64\", \"ia64\" or \"arm\", got "
         "the string \"X64\""},
        {R"({"architecture": {"native": "arm", "process": "x86"}})",
         "machine.json: /architecture/process: an x86 process cannot run on an arm machine"},
        {R"({"architecture": {"native": "x86", "process": "x64"}})",
         "machine.json: /architecture/process: an x64 process cannot run on an x86 machine"},
        {R"({"architecture": {"process": "arm64"}})",
         "machine.json: /architecture/process: an arm64 process cannot run on an x64 machine"},
        {R"({"architecture": {"native": "arm64", "process": "ia64"}})",
         "machine.json: /architecture/process: an ia64 process cannot run on an arm64 machine"},
        {R"({"architecture": {"native": "arm64", "process": "x64"}})",
         "machine.json: /architecture/process: an x64 process on ARM64 needs \"x64Emulation\": true"},
        {R"({"architecture": {"native": "ia64", "x64Emulation": true}})",
         "machine.json: /architecture/x64Emulation: x64 emulation needs an ARM64 machine (native is not "
         "arm64)"},
        {R"({"architecture": {"native": "arm64", "x64Emulation": 1}})",
         "machine.json: /architecture/x64Emulation: expected true or false, got the number 1"},
        {R"({"systemMetrics": {"SM_FOO": 1}})",
         "machine.json: /systemMetrics/SM_FOO: unknown system metric; expected an SM_* name or a decimal "
         "index"},
        {R"({"systemMetrics": {"-1": 1}})",
         "machine.json: /systemMetrics/-1: unknown system metric; expected an SM_* name or a decimal index"},
        {R"({"systemMetrics": {"SM_CXSCREEN": 2147483648}})",
         "machine.json: /systemMetrics/SM_CXSCREEN: out of range: expected an integer from -2147483648 to "
         "2147483647, "
         "got the number 2147483648"},
        {R"({"systemMetrics": []})",
         "machine.json: /systemMetrics: expected an object of SM_* names or indexes and their values, got an "
         "array"},
        {R"({"ansiCodePage": 0})",
         "machine.json: /ansiCodePage: out of range: expected an integer from 1 to 65535, got the number 0"},
        {R"({"computerNames": {"netbios": "ABCDEFGHIJKLMNOP"}})",
         "machine.json: /computerNames/netbios: longer than 15 characters"},
        {R"({"computerNames": {"fqdn": "x"}})", "machine.json: /computerNames/fqdn: unknown member"},
        {R"({"clock": "yesterday"})",
         "machine.json: /clock: expected an ISO 8601 time such as \"2024-01-31T12:00:00Z\", got the string "
         "\"yesterday\""},
        {R"({"clock": "2024-01-31T12:00:00"})",
         "machine.json: /clock: expected an ISO 8601 time such as \"2024-01-31T12:00:00Z\", got the string "
         "\"2024-01-31T12:00:00\""},
        {R"({"clock": 5})",
         "machine.json: /clock: expected an ISO 8601 time such as \"2024-01-31T12:00:00Z\", got the number "
         "5"},
        {R"({"tickCount": -5})",
         "machine.json: /tickCount: out of range: expected an integer from 0 to 18446744073709551615, got "
         "the number "
         "-5"},
        {R"({"timeZoneBias": -1441})",
         "machine.json: /timeZoneBias: out of range: expected an integer from -1440 to 1440, got the number "
         "-1441"},
        {R"({"power": {"acLineStatus": 2}})",
         "machine.json: /power/acLineStatus: expected 0, 1 or 255, got the number 2"},
        {R"({"power": {"batteryLifePercent": 101}})",
         "machine.json: /power/batteryLifePercent: expected 0 to 100 or 255, got the number 101"},
        {R"({"power": {"batteryFlag": 256}})",
         "machine.json: /power/batteryFlag: out of range: expected an integer from 0 to 255, got the number "
         "256"},
        {R"({"power": {"systemStatusFlag": true}})",
         "machine.json: /power/systemStatusFlag: expected an integer from 0 to 255, got true"},
        {R"({"windowsDirectory": "C:\\Windows\\"})",
         "machine.json: /windowsDirectory: expected a folder such as \"C:\\\\Windows\" (a drive, no trailing "
         "backslash, at most 259 characters)"},
        {R"({"missingExports": ["GetTickCount64"]})",
         "machine.json: /missingExports: expected an object of system module names and their missing "
         "exports, "
         "got an array"},
        {R"({"missingExports": {"C:\\x.dll": []}})",
         "machine.json: /missingExports/C:\\x.dll: expected a system module's name, such as \"kernel32\""},
        {R"({"missingExports": {"kernel32": [1]}})",
         "machine.json: /missingExports/kernel32/0: expected a function name, got the number 1"},
        {R"({"missingExports": {"kernel32": ["Get Tick"]}})",
         "machine.json: /missingExports/kernel32/0: expected a function name (letters, digits and '_')"},
        {R"({"os": {"major": 6, "major": 7}})", "machine.json: /os/major: member given twice"},
        {R"({"os": {}, "os": {}})", "machine.json: /os: member given twice"},
        {deep,
         "machine.json: /os/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/"
         "0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0: nested deeper than 64 levels"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        auto result = ParseMachineJson(c.text);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error->Message(), c.message);
    }
}

TEST(MachineJson, SyntaxErrorsGiveLineAndColumn) {
    struct Case {
        std::string text;
        std::size_t line;
        std::size_t column;
    };
    const Case cases[] = {
        {"{\n  \"os\": {\n    \"major\": 6,\n  }\n}", 4, 3},
        {"{\"os\": ", 1, 8},
        {"", 1, 1},
        {"{\n  \"clock\": \"\xC3\xA9\xC3\x28\"\n}", 2, 15},  // at the byte that breaks the sequence
        {"{} x", 1, 4},
        {"{\n\t\"a\": tru }", 2, 10},  // where the literal stops matching
        {"{\"a\": 1} // comment", 1, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto result = ParseMachineJson(c.text);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error->file, "machine.json");
        EXPECT_EQ(result.error->line, c.line);
        EXPECT_EQ(result.error->column, c.column);
        EXPECT_TRUE(result.error->pointer.empty());
        EXPECT_FALSE(result.error->reason.empty());
        EXPECT_EQ(result.error->reason.find("json.exception"), std::string::npos) << result.error->reason;
    }
}

std::string ClassFile(const std::string& properties, const std::string& instances) {
    return "{\"properties\": [" + properties + "], \"instances\": [" + instances + "]}";
}

TEST(WmiClassFile, ReadsPropertiesAndInstancesInOrder) {
    const std::string text = R"({
      "properties": [
        {"name": "Name", "type": "string", "key": true},
        {"name": "Count", "type": "uint32"},
        {"name": "Delta", "type": "sint64"},
        {"name": "Size", "type": "uint64"},
        {"name": "Ratio", "type": "real32"},
        {"name": "Enabled", "type": "boolean"},
        {"name": "Installed", "type": "datetime"},
        {"name": "Owner", "type": "reference"},
        {"name": "Letter", "type": "char16"},
        {"name": "Codes", "type": "uint16[]"},
        {"name": "Tags", "type": "string[]"}
      ],
      "instances": [
        {"Name": "first", "Count": 4294967295, "Delta": "-9223372036854775808", "Size": "18446744073709551615",
         "Ratio": 3, "Enabled": true, "Installed": "20240131120000.000000+060", "Owner": "Win32_X.Name=\"a\"",
         "Letter": "C", "Codes": [0, 65535], "Tags": []},
        {"name": "second", "size": 42, "Delta": -1, "letter": 68, "Installed": "00000001000000.000000:000",
         "Codes": null},
        {"Name": "third", "Installed": "2024013112****.******+000"}
      ]
    })";
    auto result = ParseWmiClassFile(text, "root/cimv2/Win32_Thing.json");
    ASSERT_TRUE(result.ok()) << result.error->Message();
    const WmiClassFile& cls = result.value;
    EXPECT_EQ(cls.nameSpace, u"root\\cimv2");
    EXPECT_EQ(cls.className, u"Win32_Thing");
    const std::pair<std::u16string, std::uint32_t> properties[] = {
        {u"Name", 8},     {u"Count", 19},     {u"Delta", 20},      {u"Size", 21},
        {u"Ratio", 4},    {u"Enabled", 11},   {u"Installed", 101}, {u"Owner", 102},
        {u"Letter", 103}, {u"Codes", 0x2012}, {u"Tags", 0x2008},
    };
    ASSERT_EQ(cls.properties.size(), std::size(properties));
    for (std::size_t i = 0; i < cls.properties.size(); ++i) {
        EXPECT_EQ(cls.properties[i].name, properties[i].first);
        EXPECT_EQ(cls.properties[i].cimType, properties[i].second);
        EXPECT_EQ(cls.properties[i].key, i == 0);
    }
    ASSERT_EQ(cls.instances.size(), 3u);
    // The value of property `index` of instance `i`; a default WmiScalar (false) when NULL.
    auto scalar = [&](std::size_t i, std::size_t index) {
        const WmiValue* v = cls.instances[i].Find(index);
        return v && std::holds_alternative<WmiScalar>(*v) ? std::get<WmiScalar>(*v) : WmiScalar();
    };
    auto array = [&](std::size_t i, std::size_t index) {
        const WmiValue* v = cls.instances[i].Find(index);
        return v && std::holds_alternative<WmiArray>(*v) ? std::get<WmiArray>(*v) : WmiArray{WmiScalar()};
    };
    EXPECT_EQ(cls.instances[0].values.size(), cls.properties.size());
    EXPECT_EQ(scalar(0, 0), WmiScalar(std::u16string(u"first")));
    EXPECT_EQ(scalar(0, 1), WmiScalar(std::uint64_t{4294967295}));
    EXPECT_EQ(scalar(0, 2), WmiScalar(std::int64_t{INT64_MIN}));
    EXPECT_EQ(scalar(0, 3), WmiScalar(std::uint64_t{UINT64_MAX}));
    EXPECT_EQ(scalar(0, 4), WmiScalar(3.0));
    EXPECT_EQ(scalar(0, 5), WmiScalar(true));
    EXPECT_EQ(scalar(0, 6), WmiScalar(std::u16string(u"20240131120000.000000+060")));
    EXPECT_EQ(scalar(0, 7), WmiScalar(std::u16string(u"Win32_X.Name=\"a\"")));
    EXPECT_EQ(scalar(0, 8), WmiScalar(u'C'));
    EXPECT_EQ(array(0, 9), (WmiArray{std::uint64_t{0}, std::uint64_t{65535}}));
    EXPECT_EQ(array(0, 10), WmiArray{});

    // Member names match properties without case; what an instance leaves out or gives
    // as null is NULL; the values come in property order whatever the member order.
    const WmiInstance& second = cls.instances[1];
    ASSERT_EQ(second.values.size(), 5u);
    EXPECT_EQ(second.values[0].property, 0u);
    EXPECT_EQ(second.values[1].property, 2u);
    EXPECT_EQ(second.values[4].property, 8u);
    EXPECT_EQ(scalar(1, 0), WmiScalar(std::u16string(u"second")));
    EXPECT_EQ(second.Find(1), nullptr);
    EXPECT_EQ(scalar(1, 2), WmiScalar(std::int64_t{-1}));
    EXPECT_EQ(scalar(1, 3), WmiScalar(std::uint64_t{42}));
    EXPECT_EQ(scalar(1, 8), WmiScalar(u'D'));
    EXPECT_EQ(second.Find(9), nullptr);
    EXPECT_EQ(scalar(2, 0), WmiScalar(std::u16string(u"third")));
}

TEST(WmiClassFile, NamespaceAndClassComeFromThePath) {
    struct Case {
        std::string path;
        std::u16string nameSpace;  // empty: the path is rejected
        std::u16string className;
    };
    const Case cases[] = {
        {"root/cimv2/Win32_OperatingSystem.json", u"root\\cimv2", u"Win32_OperatingSystem"},
        {"root/Microsoft/Windows/Storage/MSFT_Disk.json", u"root\\Microsoft\\Windows\\Storage", u"MSFT_Disk"},
        {"ROOT/SecurityCenter2/AntiVirusProduct.JSON", u"ROOT\\SecurityCenter2", u"AntiVirusProduct"},
        {"root/__Namespace.json", u"root", u"__Namespace"},
        {"Win32_X.json", u"", u""},
        {"cimv2/Win32_X.json", u"", u""},
        {"root//Win32_X.json", u"", u""},
        {"/root/Win32_X.json", u"", u""},
        {"root/cimv2/Win32-X.json", u"", u""},
        {"root/cimv2/1X.json", u"", u""},
        {"root/cimv2/.json", u"", u""},
        {"root/cimv2/Win32_X.txt", u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        auto result = ParseWmiClassFile(R"({"properties": []})", c.path);
        if (c.nameSpace.empty()) {
            ASSERT_FALSE(result.ok());
            EXPECT_EQ(result.error->file, "wmi/" + c.path);
            EXPECT_NE(result.error->reason.find("wmi/<namespace>/<Class>.json"), std::string::npos);
        } else {
            ASSERT_TRUE(result.ok()) << result.error->Message();
            EXPECT_EQ(result.value.nameSpace, c.nameSpace);
            EXPECT_EQ(result.value.className, c.className);
            EXPECT_TRUE(result.value.instances.empty());
        }
    }
}

TEST(WmiClassFile, RejectsValuesThatDoNotFitTheirTypes) {
    struct Case {
        std::string type;
        std::string value;
        std::string message;  // after "wmi/root/cimv2/X.json: /instances/0/P: "
    };
    const Case cases[] = {
        {"uint8", "256", "out of range: expected an integer from 0 to 255, got the number 256"},
        {"uint8", "-1", "out of range: expected an integer from 0 to 255, got the number -1"},
        {"sint8", "-129", "out of range: expected an integer from -128 to 127, got the number -129"},
        {"sint16", "32768", "out of range: expected an integer from -32768 to 32767, got the number 32768"},
        {"uint16", "65536", "out of range: expected an integer from 0 to 65535, got the number 65536"},
        {"sint32", "-2147483649",
         "out of range: expected an integer from -2147483648 to 2147483647, got the number -2147483649"},
        {"uint32", "4294967296",
         "out of range: expected an integer from 0 to 4294967295, got the number 4294967296"},
        {"uint32", "1.5",
         "expected an integer from 0 to 4294967295 (without fraction or exponent), got the number 1.5"},
        {"uint32", "\"7\"", "expected an integer from 0 to 4294967295, got the string \"7\""},
        {"uint64", "\"18446744073709551616\"",
         "out of range: expected an integer from 0 to 18446744073709551615"},
        {"uint64", "\"99999999999999999999\"",
         "out of range: expected an integer from 0 to 18446744073709551615"},
        {"uint64", "\"-1\"",
         "out of range: expected an integer from 0 to 18446744073709551615, got the string \"-1\""},
        {"uint64", "\"12a\"",
         "expected an integer from 0 to 18446744073709551615 (as a number or a decimal string), got the "
         "string "
         "\"12a\""},
        {"uint64", "\" 12\"",
         "expected an integer from 0 to 18446744073709551615 (as a number or a decimal string), got the "
         "string "
         "\" 12\""},
        {"uint64", "\"\"",
         "expected an integer from 0 to 18446744073709551615 (as a number or a decimal string), got the "
         "string "
         "\"\""},
        {"uint64", "18446744073709551616",
         "out of range: expected an integer from 0 to 18446744073709551615"},
        {"sint64", "\"-9223372036854775809\"",
         "out of range: expected an integer from -9223372036854775808 to 9223372036854775807"},
        {"sint64", "\"9223372036854775808\"",
         "out of range: expected an integer from -9223372036854775808 to 9223372036854775807, got the string "
         "\"9223372036854775808\""},
        {"sint64", "true",
         "expected an integer from -9223372036854775808 to 9223372036854775807 (as a number or a decimal "
         "string), "
         "got true"},
        {"real32", "1e39", "out of range for real32, got the number 1e+39"},
        {"real64", "\"1.5\"", "expected a number, got the string \"1.5\""},
        {"boolean", "\"true\"", "expected true or false, got the string \"true\""},
        {"boolean", "1", "expected true or false, got the number 1"},
        {"string", "5", "expected a string, got the number 5"},
        {"reference", "{}", "expected a string, got an object"},
        {"datetime", "\"2024-01-31T12:00:00Z\"",
         "expected a DMTF datetime such as \"20240131120000.000000+000\", got the string "
         "\"2024-01-31T12:00:00Z\""},
        {"datetime", "\"20240131120000.000000+00\"",
         "expected a DMTF datetime such as \"20240131120000.000000+000\", got the string "
         "\"20240131120000.000000+00\""},
        {"datetime", "\"00000001000000.000000:001\"",
         "expected a DMTF datetime such as \"20240131120000.000000+000\", got the string "
         "\"00000001000000.000000:001\""},
        {"char16", "\"ab\"", "expected one UTF-16 character, got the string \"ab\""},
        {"char16", "\"\"", "expected one UTF-16 character, got the string \"\""},
        {"char16", "65536", "out of range: expected an integer from 0 to 65535, got the number 65536"},
        {"char16", "true", "expected one UTF-16 character or its code from 0 to 65535, got true"},
        {"uint16[]", "5", "expected an array of uint16 or null, got the number 5"},
        {"string[]", "\"a\"", "expected an array of string or null, got the string \"a\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type + " " + c.value);
        auto result = ParseWmiClassFile(
            ClassFile(R"({"name": "P", "type": ")" + c.type + "\"}", "{\"P\": " + c.value + "}"),
            "root/cimv2/X.json");
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error->Message(), "wmi/root/cimv2/X.json: /instances/0/P: " + c.message);
    }

    struct ArrayCase {
        std::string type;
        std::string value;
        std::string message;
    };
    const ArrayCase arrays[] = {
        {"uint16[]", "[1, null]", "/instances/0/P/1: null is not allowed inside an array"},
        {"uint16[]", "[1, 2, 65536]",
         "/instances/0/P/2: out of range: expected an integer from 0 to 65535, got the number 65536"},
        {"string[]", "[\"a\", [\"b\"]]", "/instances/0/P/1: expected a string, got an array"},
    };
    for (const ArrayCase& c : arrays) {
        SCOPED_TRACE(c.value);
        auto result = ParseWmiClassFile(
            ClassFile(R"({"name": "P", "type": ")" + c.type + "\"}", "{\"P\": " + c.value + "}"),
            "root/cimv2/X.json");
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error->Message(), "wmi/root/cimv2/X.json: " + c.message);
    }
}

TEST(WmiClassFile, RejectsMalformedClassDescriptions) {
    struct Case {
        std::string text;
        std::string message;  // after "wmi/root/cimv2/X.json: "
    };
    const Case cases[] = {
        {"[]", "expected an object with \"properties\" and \"instances\", got an array"},
        {R"({"instances": []})", "missing member \"properties\""},
        {R"({"properties": [], "class": "X"})", "/class: unknown member"},
        {R"({"properties": {}})", "/properties: expected an array of properties, got an object"},
        {R"({"properties": [], "instances": {}})",
         "/instances: expected an array of instances, got an object"},
        {R"({"properties": ["Name"]})",
         "/properties/0: expected an object with \"name\" and \"type\", got the string \"Name\""},
        {R"({"properties": [{"name": "A", "typ": "string"}]})", "/properties/0/typ: unknown member"},
        {R"({"properties": [{"type": "string"}]})", "/properties/0: the property has no \"name\""},
        {R"({"properties": [{"name": "A"}]})", "/properties/0: the property has no \"type\""},
        {R"({"properties": [{"name": "A", "type": "uint128"}]})",
         "/properties/0/type: expected a CIM type such as \"uint32\", \"string\" or \"uint16[]\", got the "
         "string "
         "\"uint128\""},
        {R"({"properties": [{"name": "A", "type": "String"}]})",
         "/properties/0/type: expected a CIM type such as \"uint32\", \"string\" or \"uint16[]\", got the "
         "string "
         "\"String\""},
        {R"({"properties": [{"name": "A", "type": "[]"}]})",
         "/properties/0/type: expected a CIM type such as \"uint32\", \"string\" or \"uint16[]\", got the "
         "string "
         "\"[]\""},
        {R"({"properties": [{"name": "A", "type": 8}]})",
         "/properties/0/type: expected a CIM type such as \"uint32\", \"string\" or \"uint16[]\", got the "
         "number 8"},
        {R"({"properties": [{"name": "A", "type": "string", "key": "yes"}]})",
         "/properties/0/key: expected true or false, got the string \"yes\""},
        {R"({"properties": [{"name": "1A", "type": "string"}]})",
         "/properties/0/name: not a property name: expected a letter or '_' then letters, digits or '_'"},
        {R"({"properties": [{"name": "", "type": "string"}]})",
         "/properties/0/name: not a property name: expected a letter or '_' then letters, digits or '_'"},
        {R"({"properties": [{"name": "Name", "type": "string"}, {"name": "NAME", "type": "uint32"}]})",
         "/properties/1/name: property \"NAME\" is declared twice"},
        {ClassFile(R"({"name": "Name", "type": "string"})", R"({"Nmae": "x"})"),
         "/instances/0/Nmae: unknown property"},
        {ClassFile(R"({"name": "Name", "type": "string"})", R"({"Name": "x", "name": "y"})"),
         "/instances/0/name: property given twice"},
        {ClassFile(R"({"name": "Name", "type": "string"})", R"({"Name": "x"}, "y")"),
         "/instances/1: expected an object of property values, got the string \"y\""},
        {ClassFile(R"({"name": "Name", "type": "string", "key": true}, {"name": "N", "type": "uint8"})",
                   R"({"Name": "a"}, {"N": 1})"),
         "/instances/1: key property \"Name\" has no value"},
        {ClassFile(R"({"name": "Name", "type": "string", "key": true})", R"({"Name": null})"),
         "/instances/0: key property \"Name\" has no value"},
        {R"({"properties": [], "properties": []})", "/properties: member given twice"},
        {"{\"properties\": [}",
         "line 1, column 17: syntax error while parsing value - unexpected '}'; expected '[', "
         "'{', or a literal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto result = ParseWmiClassFile(c.text, "root/cimv2/X.json");
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error->Message(), "wmi/root/cimv2/X.json: " + c.message);
    }
}

// However large or hostile a file, its message quotes little of it and nothing that a
// terminal would act on.
TEST(ParseMessages, QuoteShortPrintableExcerptsOfTheInput) {
    enum Kind { Reg, Machine, Wmi };
    struct Case {
        Kind kind;
        std::string text;
        std::string start;  // of the message
    };
    const std::string big(1 << 20, 'x');
    const std::string raw = "\x1B]0;t\x07\x7F\xC2\x9B" + big;      // ESC, BEL, DEL and the C1 CSI
    const std::string escaped = R"(\u001b[2J\u007f\u009b)" + big;  // the same in JSON escapes
    const std::string reg = std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\K]\r\n";
    const Case cases[] = {
        {Reg, reg + raw, "registry/a.reg: line 4: unexpected text '\\u001B]0;t\\u0007\\u007F\\u009Bxxx"},
        {Reg, std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\" + raw + "]", "registry/a.reg: line 3: key name"},
        {Reg, reg + "\"a\"=" + raw, "registry/a.reg: line 4: unknown value data"},
        {Machine, "{\"clock\": \"" + raw + "\"}", "machine.json: line 1, column 12: syntax error"},
        {Machine, "{\"clock\": \"" + big, "machine.json: line 1, column"},
        {Machine, "{\"" + escaped + "\": 1}", "machine.json: /\\u001B[2J\\u007F\\u009Bxxx"},
        {Machine, "{\"clock\": \"" + escaped + "\"}", "machine.json: /clock: expected an ISO 8601 time"},
        {Wmi,
         ClassFile("{\"name\": \"" + big + "\", \"type\": \"string\"}, {\"name\": \"" + big +
                       "\", \"type\": \"string\"}",
                   ""),
         "wmi/root/cimv2/Win32_A.json: /properties/1/name: property \"xxx"},
        {Wmi, ClassFile(R"({"name": "A", "type": "string"})", "{\"" + escaped + "\": 1}"),
         "wmi/root/cimv2/Win32_A.json: /instances/0/\\u001B[2J"},
    };
    for (const Case& c : cases) {
        std::optional<ParseError> error;
        if (c.kind == Reg) error = ParseRegFile(c.text, "registry/a.reg").error;
        if (c.kind == Machine) error = ParseMachineJson(c.text).error;
        if (c.kind == Wmi) error = ParseWmiClassFile(c.text, "root/cimv2/Win32_A.json").error;
        ASSERT_TRUE(error) << c.start;
        std::string message = error->Message();
        EXPECT_TRUE(message.starts_with(c.start)) << message;
        EXPECT_LE(message.size(), 300u) << message;
        for (std::size_t i = 0; i < message.size(); ++i) {
            auto b = static_cast<unsigned char>(message[i]);
            bool c1 = b == 0xC2 && i + 1 < message.size() && (message[i + 1] & 0xE0) == 0x80;
            ASSERT_FALSE(b < 0x20 || b == 0x7F || c1) << message;
        }
    }
}

TEST(WmiClassFile, CimTypeNames) {
    const std::pair<std::string, std::uint32_t> cases[] = {
        {"sint8", 16},       {"uint8", 17},          {"sint16", 2},     {"uint16", 18},     {"sint32", 3},
        {"uint32", 19},      {"sint64", 20},         {"uint64", 21},    {"real32", 4},      {"real64", 5},
        {"boolean", 11},     {"string", 8},          {"datetime", 101}, {"reference", 102}, {"char16", 103},
        {"uint8[]", 0x2011}, {"datetime[]", 0x2065}, {"object", 0},     {"uint32[][]", 0},  {"uint32 []", 0},
    };
    for (const auto& [name, type] : cases) EXPECT_EQ(CimTypeFromName(name), type) << name;
}

}  // namespace
}  // namespace hostlens::sim::machinedir
