// The registry helpers as their callers see them. Written against the Win32 API alone,
// so the same tests run on Windows; there they keep to HKCU\Software\HostlensHelpersTest.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "software/registry_helpers.h"
#include "support/api_test.h"

namespace hostlens::test {
namespace {

const WCHAR kRoot[] = W("Software\\HostlensHelpersTest");

WString Path(const WCHAR* below) {
    return WString(kRoot) + W("\\") + below;
}

std::vector<BYTE> Bytes(const void* data, std::size_t size) {
    std::vector<BYTE> bytes(size);
    if (size > 0) std::memcpy(bytes.data(), data, size);
    return bytes;
}

std::vector<BYTE> Text(const WString& text, bool terminated = true) {
    return Bytes(text.c_str(), (text.size() + (terminated ? 1 : 0)) * sizeof(WCHAR));
}

class RegistryHelpersTest : public ApiTest {
protected:
    void SetUp() override {
        ApiTest::SetUp();
        RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);  // whatever an interrupted run left
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(root_);
        RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
        ApiTest::TearDown();
    }

    // Stores `data`, but for its last `spare` bytes, which follow the value in memory.
    void Set(const WCHAR* name, DWORD type, const std::vector<BYTE>& data, DWORD spare = 0) {
        ASSERT_EQ(RegSetValueExW(root_, name, 0, type, data.empty() ? nullptr : data.data(),
                                 static_cast<DWORD>(data.size()) - spare),
                  ERROR_SUCCESS);
    }
    void CreateKey(const WCHAR* below) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root_, below, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    HKEY root_ = nullptr;
};

TEST_F(RegistryHelpersTest, ReadsStringsWhateverTheirSizeAndType) {
    const WString x259(259, W('x'));
    const WString y260(260, W('y'));
    const WString z5000(5000, W('z'));
    // 260 characters without a terminator, and a character after them that is not NUL
    // (Windows would count a NUL there in).
    const WString unterminated = WString(260, W('u')) + W("v");
    const DWORD number = 0x00410042;  // "BA" as text
    const BYTE odd[] = {'a', 0, 'b', 0, 'c'};
    struct Case {
        const WCHAR* name;
        DWORD type;
        std::vector<BYTE> data;
        WString text;
        DWORD spare = 0;
    };
    const Case cases[] = {
        {W("Plain"), REG_SZ, Text(W("abc")), W("abc")},
        {W("Fits"), REG_SZ, Text(x259), x259},           // 520 bytes: the first read
        {W("Longer"), REG_EXPAND_SZ, Text(y260), y260},  // 522 bytes: the second read
        {W("Long"), REG_SZ, Text(z5000), z5000},
        {W("Parts"), REG_MULTI_SZ, Text(WString(W("first")) + WCHAR(0) + W("second") + WCHAR(0)), W("first")},
        {W("Empty"), REG_SZ, {}, W("")},
        {W("Nul"), REG_SZ, Text(WString(1, WCHAR(0)) + W("hidden")), W("")},
        {W("Number"), REG_DWORD, Bytes(&number, sizeof number), W("BA")},
        {W("Odd"), REG_BINARY, Bytes(odd, sizeof odd), W("ab")},
        {W("NoNul"), REG_SZ, Bytes(unterminated.c_str(), 522), WString(260, W('u')), 2},
    };
    for (const Case& c : cases) Set(c.name, c.type, c.data, c.spare);
    for (const Case& c : cases) {
        for (bool use64View : {false, true}) {
            WString text = W("unchanged");
            EXPECT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, kRoot, c.name, text, use64View));
            EXPECT_EQ(text, c.text) << "value " << c.text.size();
        }
    }
    for (const auto& [key, name] :
         {std::pair{kRoot, W("Missing")}, {W("Software\\HostlensNoSuchKey"), W("Plain")}}) {
        WString text = W("unchanged");
        EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, key, name, text, false));
        EXPECT_EQ(text, W("unchanged"));
    }
}

TEST_F(RegistryHelpersTest, ReadsDwordsOfTypeDwordOnly) {
    const DWORD seven = 7;
    const unsigned long long big = 1;
    struct Case {
        const WCHAR* name;
        DWORD type;
        std::vector<BYTE> data;
        bool read;
    };
    const Case cases[] = {
        {W("Dword"), REG_DWORD, Bytes(&seven, sizeof seven), true},
        {W("Text"), REG_SZ, Text(W("7")), false},  // 4 bytes, but text
        {W("Binary"), REG_BINARY, Bytes(&seven, sizeof seven), false},
        {W("BigEndian"), REG_DWORD_BIG_ENDIAN, Bytes(&seven, sizeof seven), false},
        {W("Qword"), REG_QWORD, Bytes(&big, sizeof big), false},
    };
    for (const Case& c : cases) Set(c.name, c.type, c.data);
    for (const Case& c : cases) {
        DWORD value = 0;
        EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kRoot, c.name, &value, true), c.read) << c.type;
        if (c.read) {
            EXPECT_EQ(value, 7u);
        }
    }
    DWORD value = 99;
    EXPECT_FALSE(ReadRegistryDword(HKEY_CURRENT_USER, kRoot, W("Missing"), &value, false));
    EXPECT_EQ(value, 99u);
    EXPECT_FALSE(ReadRegistryDword(HKEY_CURRENT_USER, kRoot, W("Dword"), nullptr, false));
}

TEST_F(RegistryHelpersTest, EnumeratesSubkeysIntoWhatFits) {
    for (const WCHAR* name : {W("Parent\\a"), W("Parent\\bb"), W("Parent\\ccc"), W("Empty")}) CreateKey(name);
    const WString all = WString(W("a")) + WCHAR(0) + W("bb") + WCHAR(0) + W("ccc") + WCHAR(0) + WCHAR(0);
    const WString parent = Path(W("Parent"));
    struct Case {
        DWORD length;  // of the buffer
        bool result;
        std::size_t written;  // characters of `all` that the buffer holds afterwards
    };
    // A name that does not fit is left out, and so is every one after it: its place
    // still counts.
    const Case cases[] = {
        {10, true, 10}, {40, true, 10}, {9, false, 9}, {8, false, 5}, {4, false, 2}, {1, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::vector<WCHAR> buffer(c.length, W('#'));
        DWORD length = c.length;
        EXPECT_EQ(EnumerateSubKeys(HKEY_CURRENT_USER, parent.c_str(), buffer.data(), &length, false),
                  c.result);
        EXPECT_EQ(length, 10u);
        EXPECT_EQ(WString(buffer.data(), c.written), all.substr(0, c.written));
        for (std::size_t i = c.written; i < c.length; ++i) EXPECT_EQ(buffer[i], W('#')) << "at " << i;
    }
    DWORD length = 99;
    EXPECT_TRUE(EnumerateSubKeys(HKEY_CURRENT_USER, parent.c_str(), nullptr, &length, false));
    EXPECT_EQ(length, 10u);
    // A key without subkeys measures 0, and lists nothing into a buffer.
    WCHAR buffer[4] = {W('#'), W('#'), W('#'), W('#')};
    length = 4;
    EXPECT_FALSE(EnumerateSubKeys(HKEY_CURRENT_USER, Path(W("Empty")).c_str(), buffer, &length, false));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer[0], W('#'));
    length = 99;
    EXPECT_TRUE(EnumerateSubKeys(HKEY_CURRENT_USER, Path(W("Empty")).c_str(), nullptr, &length, false));
    EXPECT_EQ(length, 0u);
    length = 99;
    EXPECT_FALSE(EnumerateSubKeys(HKEY_CURRENT_USER, Path(W("Missing")).c_str(), nullptr, &length, false));
    EXPECT_EQ(length, 99u);
    EXPECT_FALSE(EnumerateSubKeys(HKEY_CURRENT_USER, parent.c_str(), nullptr, nullptr, false));
}

TEST_F(RegistryHelpersTest, GetSubKeyNamesSizesAndFillsTheList) {
    for (const WCHAR* name : {W("Parent\\one"), W("Parent\\two"), W("Empty")}) CreateKey(name);
    const WString expected = WString(W("one")) + WCHAR(0) + W("two") + WCHAR(0) + WCHAR(0);
    struct Case {
        HKEY root;
        WString subKey;
        DWORD result;
    };
    HKEY parent = OpenRegistryKey(HKEY_CURRENT_USER, Path(W("Parent")).c_str(), false);
    ASSERT_NE(parent, nullptr);
    const Case cases[] = {
        {HKEY_CURRENT_USER, Path(W("Parent")), ERROR_SUCCESS},
        {parent, W(""), ERROR_SUCCESS},  // the root itself
        {HKEY_CURRENT_USER, Path(W("Empty")), ERROR_NO_DATA},
        {HKEY_CURRENT_USER, Path(W("Missing")), ERROR_NO_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.subKey.size());
        for (bool use64View : {false, true}) {
            std::unique_ptr<WCHAR[]> names(new WCHAR[1]);
            EXPECT_EQ(GetSubKeyNames(c.root, c.subKey.c_str(), names, use64View), c.result);
            if (c.result == ERROR_SUCCESS) {
                ASSERT_NE(names, nullptr);
                EXPECT_EQ(WString(names.get(), expected.size()), expected);
            } else {
                EXPECT_EQ(names, nullptr);
            }
        }
    }
    CloseRegistryKey(parent);
    EXPECT_EQ(parent, nullptr);
    CloseRegistryKey(parent);  // a null key is left alone
}

ULONGLONG Ticks(const FILETIME& time) {
    return (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

TEST_F(RegistryHelpersTest, OpensKeysAndReadsTheirTimes) {
    FILETIME before{};
    GetSystemTimeAsFileTime(&before);
    CreateKey(W("Child"));
    FILETIME after{};
    GetSystemTimeAsFileTime(&after);

    HKEY key = OpenRegistryKey(HKEY_CURRENT_USER, Path(W("Child")).c_str(), true);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(RegQueryValueExW(key, W("Missing"), nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    CloseRegistryKey(key);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(OpenRegistryKey(HKEY_CURRENT_USER, Path(W("Missing")).c_str(), false), nullptr);

    SYSTEMTIME written{};
    ASSERT_TRUE(GetKeyLastWriteTime(HKEY_CURRENT_USER, Path(W("Child")).c_str(), written, false));
    FILETIME writtenTime{};
    ASSERT_TRUE(SystemTimeToFileTime(&written, &writtenTime));
    constexpr ULONGLONG kSecond = 10000000;  // the time has milliseconds only
    EXPECT_GE(Ticks(writtenTime) + kSecond, Ticks(before));
    EXPECT_LE(Ticks(writtenTime), Ticks(after));
    SYSTEMTIME untouched{};
    untouched.wYear = 1999;
    EXPECT_FALSE(GetKeyLastWriteTime(HKEY_CURRENT_USER, Path(W("Missing")).c_str(), untouched, false));
    EXPECT_EQ(untouched.wYear, 1999);
}

}  // namespace
}  // namespace hostlens::test
