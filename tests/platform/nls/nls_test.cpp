// Code-page conversions and their size protocol.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/machine_test.h"

namespace hostlens::test {
namespace {

class CodePageTest : public MachineTest {};

// Converts with an exact-size buffer after a size query; empty on failure.
WString ToWide(UINT codePage, const std::string& bytes, DWORD flags = 0) {
    int size = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (size <= 0) return W("<failed>");
    WString wide(static_cast<std::size_t>(size), 0);
    int written =
        MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), wide.data(), size);
    EXPECT_EQ(written, size);
    return wide;
}

std::string ToBytes(UINT codePage, const WString& wide, BOOL* usedDefault = nullptr) {
    int size = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                   nullptr, usedDefault);
    if (size <= 0) return "<failed>";
    std::string bytes(static_cast<std::size_t>(size), 0);
    EXPECT_EQ(WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size,
                                  nullptr, usedDefault),
              size);
    return bytes;
}

TEST_F(CodePageTest, TheAnsiCodePageIsAMachineFact) {
    EXPECT_EQ(GetACP(), 1252u);
    const std::string bytes = "\xC0\xE9";
    EXPECT_EQ(ToWide(CP_ACP, bytes), W("\u00C0\u00E9"));
    sim::MachineFacts().ansiCodePage = 1251;
    EXPECT_EQ(GetACP(), 1251u);
    EXPECT_EQ(ToWide(CP_ACP, bytes), W("\u0410\u0439")) << "the same bytes read as Cyrillic";
    EXPECT_EQ(ToWide(1252, bytes), W("\u00C0\u00E9")) << "an explicit code page does not follow the machine";
}

TEST_F(CodePageTest, BytesConvertWithTheTablesOfWindowsCodePages) {
    struct Case {
        UINT codePage;
        std::string bytes;
        WString expected;
    } cases[] = {
        {1250, "\x8A", W("\u0160")},
        {1251, "\xC0", W("\u0410")},
        {1252, "\x80\x81", W("\u20AC\u0081")},  // an undefined byte gives its C1 control
        {1253, "\xC1", W("\u0391")},
        {1254, "\xD0", W("\u011E")},
        {1255, "\xE0", W("\u05D0")},
        {1256, "\xC7", W("\u0627")},
        {1257, "\xC0", W("\u0104")},
        {1258, "\xC3", W("\u0102")},
        {1258, "A\xEC", W("A\u0301")},  // a tone mark stays a separate character
        {932, "\x82\xA0", W("\u3042")},
        {932, "\x93\xFA\x96\x7B", W("\u65E5\u672C")},
        {932, "\xB1", W("\uFF71")},  // half-width katakana: one byte
        {932, "a\x82\xA0z", W("a\u3042z")},
        {936, "\xC4\xE3", W("\u4F60")},
        {949, "\xB0\xA1", W("\uAC00")},
        {950, "\xA4\xA4", W("\u4E2D")},
        {CP_UTF8, "\xE2\x82\xAC", W("\u20AC")},
        {CP_UTF8, "\xF0\x9F\x98\x80", W("\U0001F600")},
        {1252, std::string("a\0b", 3), WString(W("a\0b"), 3)},  // NULs inside a counted text convert
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "code page " << c.codePage << ", " << c.bytes.size() << " bytes");
        EXPECT_EQ(ToWide(c.codePage, c.bytes), c.expected);
    }
}

TEST_F(CodePageTest, SizesFollowTheTwoCallProtocol) {
    WCHAR buffer[8];
    struct Case {
        const char* what;
        int length;
        int capacity;
        int expected;
        DWORD error;  // when expected is 0
    } cases[] = {
        {"size of a terminated text counts its NUL", -1, 0, 4, 0},
        {"terminated text into an exact buffer", -1, 4, 4, 0},
        {"counted text has no NUL", 3, 0, 3, 0},
        {"counted text into a larger buffer", 3, 8, 3, 0},
        {"buffer one too small", -1, 3, 0, ERROR_INSUFFICIENT_BUFFER},
        {"empty input", 0, 8, 0, ERROR_INVALID_PARAMETER},
        {"negative capacity", -1, -1, 0, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::fill(std::begin(buffer), std::end(buffer), W('#'));
        SetLastError(0);
        EXPECT_EQ(
            MultiByteToWideChar(1252, 0, "abc", c.length, c.capacity > 0 ? buffer : nullptr, c.capacity),
            c.expected);
        if (c.expected == 0) {
            EXPECT_EQ(GetLastError(), c.error);
        } else if (c.capacity > 0) {
            EXPECT_EQ(WString(buffer, static_cast<std::size_t>(c.expected)),
                      c.length < 0 ? WString(W("abc\0"), 4) : WString(W("abc")));
        }
    }

    struct Refusal {
        const char* what;
        UINT codePage;
        DWORD flags;
        const char* bytes;
        DWORD error;
    } refusals[] = {
        {"unknown code page", 12345, 0, "abc", ERROR_INVALID_PARAMETER},
        {"UTF-7 is not provided", CP_UTF7, 0, "abc", ERROR_INVALID_PARAMETER},
        {"no input", 1252, 0, nullptr, ERROR_INVALID_PARAMETER},
        {"flags UTF-8 does not take", CP_UTF8, MB_PRECOMPOSED, "abc", ERROR_INVALID_FLAGS},
        {"precomposed and composite at once", 1252, MB_PRECOMPOSED | MB_COMPOSITE, "abc",
         ERROR_INVALID_FLAGS},
        {"unknown flag", 1252, 0x100, "abc", ERROR_INVALID_FLAGS},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.what);
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(r.codePage, r.flags, r.bytes, -1, buffer, 8), 0);
        EXPECT_EQ(GetLastError(), r.error);
    }

    sim::MachineFacts().ansiCodePage = 99;  // a machine whose code page has no table here
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, buffer, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(CodePageTest, InvalidBytesAreReplacedOrRefused) {
    struct Case {
        const char* what;
        UINT codePage;
        std::string bytes;
        WString replaced;
    } cases[] = {
        {"UTF-8 lead byte at the end", CP_UTF8, "a\xC3", W("a\uFFFD")},
        {"UTF-8 truncated sequence", CP_UTF8, "a\xE2\x82z", W("a\uFFFDz")},
        {"UTF-8 overlong NUL", CP_UTF8, "\xC0\x80", W("\uFFFD\uFFFD")},
        {"UTF-8 encoded surrogate", CP_UTF8, "\xED\xA0\x80", W("\uFFFD\uFFFD\uFFFD")},
        {"UTF-8 above U+10FFFF", CP_UTF8, "\xF4\x90\x80\x80", W("\uFFFD\uFFFD\uFFFD\uFFFD")},
        {"Shift-JIS lead byte at the end", 932, "a\x82", W("a\uFFFD")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ToWide(c.codePage, c.bytes), c.replaced);
        WCHAR buffer[16];
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(c.codePage, MB_ERR_INVALID_CHARS, c.bytes.data(),
                                      static_cast<int>(c.bytes.size()), buffer, 16),
                  0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    }
    // Bytes Windows' tables define are valid even where they map to control characters.
    EXPECT_EQ(ToWide(1252, "\x81", MB_ERR_INVALID_CHARS), W("\u0081"));
}

TEST_F(CodePageTest, WideTextConvertsToCodePages) {
    struct Case {
        UINT codePage;
        WString wide;
        std::string expected;
        bool usedDefault;
    } cases[] = {
        {CP_UTF8, W("a\u00E9\u20AC\U0001F600"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", false},
        {1252, W("\u00E9\u20AC"), "\xE9\x80", false},
        {1252, W("\u0416x"), "?x", true},  // no best fit: the default character
        {1251, W("\u0416"), "\xC6", false},
        {932, W("\u3042z"), "\x82\xA0z", false},
        {932, W("\u0416\u00E9"), "\x84\x47?", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        BOOL usedDefault = 7;
        EXPECT_EQ(ToBytes(c.codePage, c.wide, c.codePage == CP_UTF8 ? nullptr : &usedDefault), c.expected);
        if (c.codePage != CP_UTF8) {
            EXPECT_EQ(usedDefault, c.usedDefault ? TRUE : FALSE);
        }
    }

    // An unpaired surrogate becomes U+FFFD, or fails the call when asked to.
    const WCHAR lone[] = {W('a'), 0xD800, W('b'), 0};
    char bytes[16] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, -1, bytes, 16, nullptr, nullptr), 6);
    EXPECT_EQ(std::string(bytes, 6), std::string("a\xEF\xBF\xBD"
                                                 "b\0",
                                                 6));
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, bytes, 16, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));

    // UTF-8 has no default character to report.
    BOOL usedDefault = FALSE;
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, W("a"), -1, bytes, 16, nullptr, &usedDefault), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, W("abc"), -1, bytes, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(WideCharToMultiByte(1252, 0, W("\u0416"), 1, bytes, 16, "*", nullptr), 1);
    EXPECT_EQ(bytes[0], '*');
}

TEST_F(CodePageTest, ConversionsFailOnDemand) {
    WCHAR wide[8];
    char narrow[8];
    sim::FailCall("MultiByteToWideChar", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, wide, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, wide, 8), 4);
    sim::FailCall("WideCharToMultiByte", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, -1, narrow, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

}  // namespace
}  // namespace hostlens::test
