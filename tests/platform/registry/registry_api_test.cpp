// The registry calls as a caller sees them. Written against the Win32 API alone, so
// the same tests run on Windows; there they keep to HKCU\Software\HostlensTest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/api_test.h"

namespace hostlens::test {
namespace {

const WCHAR* const kTestRoot = W("Software\\HostlensTest");

// Closes the key it holds (closing a predefined key is harmless).
class Key {
public:
    Key() = default;
    ~Key() { Reset(); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    HKEY get() const { return key_; }
    PHKEY out() {
        Reset();
        return &key_;
    }
    void Reset() {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
    }
    HKEY release() {
        HKEY key = key_;
        key_ = nullptr;
        return key;
    }

private:
    HKEY key_ = nullptr;
};

std::vector<BYTE> Raw(const WString& text) {
    std::vector<BYTE> bytes(text.size() * sizeof(WCHAR));
    if (!bytes.empty()) std::memcpy(bytes.data(), text.data(), bytes.size());
    return bytes;
}

// A string value as Windows writes it: the characters and a terminator.
std::vector<BYTE> Sz(const WString& text) {
    return Raw(text + WCHAR(0));
}

std::vector<BYTE> Dword(DWORD value) {
    std::vector<BYTE> bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

class RegistryApiTest : public ApiTest {
protected:
    void SetUp() override {
        ApiTest::SetUp();
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);  // whatever an interrupted run left
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  root_.out(), nullptr),
                  ERROR_SUCCESS);
    }

    void TearDown() override {
        root_.Reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
        ApiTest::TearDown();
    }

    HKEY Root() const { return root_.get(); }

    void Create(const WCHAR* path, Key& key, DWORD access = KEY_ALL_ACCESS) {
        ASSERT_EQ(RegCreateKeyExW(Root(), path, 0, nullptr, 0, access, nullptr, key.out(), nullptr),
                  ERROR_SUCCESS);
    }
    void Create(const WCHAR* path) {
        Key key;
        Create(path, key);
    }
    void Set(HKEY key, const WCHAR* name, DWORD type, const std::vector<BYTE>& data) {
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }
    std::vector<WString> SubkeyNames(HKEY key) {
        std::vector<WString> names;
        for (DWORD i = 0;; ++i) {
            WCHAR name[256];
            DWORD length = 256;
            LSTATUS status = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS) {
                EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
                break;
            }
            names.emplace_back(name, length);
        }
        return names;
    }

private:
    Key root_;
};

TEST_F(RegistryApiTest, QueryValueFollowsTheTwoCallSizeProtocol) {
    const std::vector<BYTE> text = Sz(W("abc"));
    const std::vector<BYTE> number = Dword(0x01020304);
    const std::vector<BYTE> multi = Raw(WString(W("a\0b\0\0"), 5));
    const std::vector<BYTE> fallback = Sz(W("default"));
    Set(Root(), W("Text"), REG_SZ, text);
    Set(Root(), W("Number"), REG_DWORD, number);
    Set(Root(), W("Empty"), REG_BINARY, {});
    Set(Root(), W("Multi"), REG_MULTI_SZ, multi);
    Set(Root(), W(""), REG_SZ, fallback);

    constexpr DWORD kNoBuffer = ~DWORD{0};  // the call gets no data pointer
    struct Case {
        const char* what;
        const WCHAR* name;
        DWORD buffer;
        LSTATUS status;
        DWORD size;
        DWORD type;
        const std::vector<BYTE>* data;  // what the buffer must then hold
    };
    const Case cases[] = {
        {"size query", W("Text"), kNoBuffer, ERROR_SUCCESS, 8, REG_SZ, nullptr},
        {"buffer of the exact size", W("Text"), 8, ERROR_SUCCESS, 8, REG_SZ, &text},
        {"larger buffer", W("Text"), 64, ERROR_SUCCESS, 8, REG_SZ, &text},
        {"one byte short", W("Text"), 7, ERROR_MORE_DATA, 8, REG_SZ, nullptr},
        {"empty buffer", W("Text"), 0, ERROR_MORE_DATA, 8, REG_SZ, nullptr},
        {"name in another case", W("tEXT"), 8, ERROR_SUCCESS, 8, REG_SZ, &text},
        {"dword", W("Number"), 4, ERROR_SUCCESS, 4, REG_DWORD, &number},
        {"dword, short buffer", W("Number"), 3, ERROR_MORE_DATA, 4, REG_DWORD, nullptr},
        {"empty value, size query", W("Empty"), kNoBuffer, ERROR_SUCCESS, 0, REG_BINARY, nullptr},
        {"empty value, empty buffer", W("Empty"), 0, ERROR_SUCCESS, 0, REG_BINARY, nullptr},
        {"multi-string", W("Multi"), 64, ERROR_SUCCESS, 10, REG_MULTI_SZ, &multi},
        {"default value by empty name", W(""), 64, ERROR_SUCCESS, 16, REG_SZ, &fallback},
        {"default value by null name", nullptr, 64, ERROR_SUCCESS, 16, REG_SZ, &fallback},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<BYTE> buffer(std::max<DWORD>(c.buffer == kNoBuffer ? 0 : c.buffer, 1), 0xCC);
        DWORD type = 0xDEAD;
        DWORD size = c.buffer == kNoBuffer ? 0 : c.buffer;
        LSTATUS status = RegQueryValueExW(Root(), c.name, nullptr, &type,
                                          c.buffer == kNoBuffer ? nullptr : buffer.data(), &size);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(type, c.type);
        if (c.data) {
            EXPECT_EQ(std::vector<BYTE>(buffer.begin(), buffer.begin() + size), *c.data);
        }
    }
}

TEST_F(RegistryApiTest, QueryValueAnswersBadOrMissingArguments) {
    Set(Root(), W("Text"), REG_SZ, Sz(W("abc")));
    BYTE buffer[16];
    DWORD size = sizeof buffer;
    DWORD reserved = 0;
    DWORD type = 0;
    struct Case {
        const char* what;
        const WCHAR* name;
        LPDWORD reserved;
        LPDWORD type;
        LPBYTE data;
        LPDWORD size;
        LSTATUS status;
        DWORD sizeAfter;  // of a size that started at sizeof buffer
    };
    const Case cases[] = {
        {"missing value", W("Missing"), nullptr, &type, buffer, &size, ERROR_FILE_NOT_FOUND, 16},
        {"missing value, size query", W("Missing"), nullptr, &type, nullptr, &size, ERROR_FILE_NOT_FOUND, 0},
        {"missing default value", nullptr, nullptr, &type, buffer, &size, ERROR_FILE_NOT_FOUND, 16},
        {"data without a size", W("Text"), nullptr, &type, buffer, nullptr, ERROR_INVALID_PARAMETER, 16},
        {"reserved argument given", W("Text"), &reserved, &type, buffer, &size, ERROR_INVALID_PARAMETER, 16},
        {"existence check only", W("Text"), nullptr, nullptr, nullptr, nullptr, ERROR_SUCCESS, 16},
        {"size without the type", W("Text"), nullptr, nullptr, nullptr, &size, ERROR_SUCCESS, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        size = sizeof buffer;
        EXPECT_EQ(RegQueryValueExW(Root(), c.name, c.reserved, c.type, c.data, c.size), c.status);
        EXPECT_EQ(size, c.sizeAfter);
    }
}

TEST_F(RegistryApiTest, SetValueCountsATerminatorTheCountLeftOut) {
    // "abc", its terminator and a character more, for the odd count.
    const std::vector<BYTE> text = Raw(WString(W("abc\0Z"), 5));
    const std::vector<BYTE> marked = Raw(W("abcX"));  // no terminator after "abc"
    struct Case {
        const char* what;
        DWORD type;
        const std::vector<BYTE>* data;
        DWORD count;
        DWORD stored;
    };
    const Case cases[] = {
        {"string without its terminator", REG_SZ, &text, 6, 8},
        {"expandable string", REG_EXPAND_SZ, &text, 6, 8},
        {"multi-string", REG_MULTI_SZ, &text, 6, 8},
        {"odd count", REG_SZ, &text, 7, 9},
        {"terminator counted", REG_SZ, &text, 8, 8},
        {"count ending inside the text", REG_SZ, &text, 5, 5},
        {"no terminator follows", REG_SZ, &marked, 6, 6},
        {"binary data", REG_BINARY, &text, 6, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(RegSetValueExW(Root(), W("V"), 0, c.type, c.data->data(), c.count), ERROR_SUCCESS);
        std::vector<BYTE> buffer(c.stored);
        DWORD size = c.stored;
        ASSERT_EQ(RegQueryValueExW(Root(), W("V"), nullptr, nullptr, buffer.data(), &size), ERROR_SUCCESS);
        EXPECT_EQ(size, c.stored);
        EXPECT_EQ(buffer, std::vector<BYTE>(c.data->begin(), c.data->begin() + c.stored));
    }
}

TEST_F(RegistryApiTest, ReadsTerminateUnterminatedStringsWhenThereIsRoom) {
    const std::vector<BYTE> marked = Raw(W("abcX"));
    const DWORD bare = 6;  // "abc" without a terminator
    Set(Root(), W("Terminated"), REG_SZ, Sz(W("ab")));
    ASSERT_EQ(RegSetValueExW(Root(), W("Binary"), 0, REG_BINARY, marked.data(), bare), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(Root(), W("Bare"), 0, REG_SZ, marked.data(), bare), ERROR_SUCCESS);

    struct Case {
        const char* what;
        const WCHAR* name;
        DWORD buffer;
        DWORD size;
        std::vector<BYTE> tail;  // the buffer's bytes after the data
    };
    const Case cases[] = {
        {"buffer of the string's size", W("Bare"), 6, 6, {0xCC, 0xCC}},
        {"no room for a whole terminator", W("Bare"), 7, 6, {0xCC, 0xCC}},
        {"room for the terminator", W("Bare"), 8, 6, {0, 0, 0xCC}},
        {"more room", W("Bare"), 12, 6, {0, 0, 0xCC}},
        {"a terminated string gets no second one", W("Terminated"), 12, 6, {0xCC, 0xCC}},
        {"binary data is not a string", W("Binary"), 12, 6, {0xCC, 0xCC}},
    };
    auto indexOf = [this](const WCHAR* wanted) {
        for (DWORD i = 0;; ++i) {
            WCHAR name[16];
            DWORD length = 16;
            if (RegEnumValueW(Root(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                    ERROR_SUCCESS ||
                WString(name) == wanted)
                return i;
        }
    };
    for (bool enumerate : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (enumerate ? ", enumerated" : ", queried"));
            std::vector<BYTE> buffer(16, 0xCC);
            DWORD size = c.buffer;
            if (enumerate) {
                WCHAR name[16];
                DWORD length = 16;
                ASSERT_EQ(RegEnumValueW(Root(), indexOf(c.name), name, &length, nullptr, nullptr,
                                        buffer.data(), &size),
                          ERROR_SUCCESS);
                ASSERT_EQ(WString(name), c.name);
            } else {
                ASSERT_EQ(RegQueryValueExW(Root(), c.name, nullptr, nullptr, buffer.data(), &size),
                          ERROR_SUCCESS);
            }
            EXPECT_EQ(size, c.size);
            EXPECT_EQ(std::vector<BYTE>(buffer.begin() + size, buffer.begin() + size + c.tail.size()),
                      c.tail);
        }
    }
}

TEST_F(RegistryApiTest, SetValueStoresTheBytesAsGiven) {
    Set(Root(), W("Empty"), REG_SZ, {});
    EXPECT_EQ(RegSetValueExW(Root(), W("Nothing"), 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(Root(), W("Bad"), 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
    // A DWORD of the wrong size is stored as it comes: readers must check the size.
    Set(Root(), W("Short"), REG_DWORD, {1, 2});

    struct Case {
        const char* what;
        const WCHAR* name;
        DWORD type;
        DWORD size;
    };
    const Case cases[] = {
        {"empty string", W("Empty"), REG_SZ, 0},
        {"no data at all", W("Nothing"), REG_BINARY, 0},
        {"short dword", W("Short"), REG_DWORD, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DWORD type = 0;
        DWORD size = 99;
        EXPECT_EQ(RegQueryValueExW(Root(), c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(size, c.size);
    }
    EXPECT_EQ(RegQueryValueExW(Root(), W("Bad"), nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApiTest, CreateKeyMakesIntermediateKeysAndReportsWhatItDid) {
    struct Step {
        const WCHAR* path;
        DWORD disposition;
    };
    const Step steps[] = {
        {W("Parent\\Child\\Leaf"), REG_CREATED_NEW_KEY},
        {W("Parent\\Child\\Leaf"), REG_OPENED_EXISTING_KEY},
        {W("Parent"), REG_OPENED_EXISTING_KEY},
        {W("Parent\\Child"), REG_OPENED_EXISTING_KEY},
        {W("PARENT\\child\\LEAF"), REG_OPENED_EXISTING_KEY},
        {W("Parent\\Sibling"), REG_CREATED_NEW_KEY},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(&step - steps);
        Key key;
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExW(Root(), step.path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, key.out(), &disposition),
                  ERROR_SUCCESS);
        EXPECT_EQ(disposition, step.disposition);
        EXPECT_NE(key.get(), nullptr);
    }
    Key key;
    EXPECT_EQ(RegCreateKeyExW(Root(), W("Other"), 1, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SubkeyNames(Root()), std::vector<WString>{W("Parent")});
}

TEST_F(RegistryApiTest, OpenKeyFindsKeysWithoutCase) {
    {
        Key leaf;
        Create(W("Sub\\Leaf"), leaf);
        Set(leaf.get(), W("Marker"), REG_DWORD, Dword(7));
    }
    struct Case {
        const char* what;
        HKEY base;
        const WCHAR* path;
        LSTATUS status;
    };
    const Case cases[] = {
        {"full path from the root", HKEY_CURRENT_USER, W("Software\\HostlensTest\\Sub\\Leaf"), ERROR_SUCCESS},
        {"relative to an open key", Root(), W("Sub\\Leaf"), ERROR_SUCCESS},
        {"names in another case", Root(), W("sUB\\LEAF"), ERROR_SUCCESS},
        {"missing key", Root(), W("Sub\\Missing"), ERROR_FILE_NOT_FOUND},
        {"missing parent", Root(), W("Missing\\Leaf"), ERROR_FILE_NOT_FOUND},
        {"no key", nullptr, W("Sub"), ERROR_INVALID_HANDLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Key key;
        ASSERT_EQ(RegOpenKeyExW(c.base, c.path, 0, KEY_READ, key.out()), c.status);
        if (c.status != ERROR_SUCCESS) {
            EXPECT_EQ(key.get(), nullptr);
            continue;
        }
        DWORD marker = 0;
        DWORD size = sizeof marker;
        EXPECT_EQ(RegQueryValueExW(key.get(), W("Marker"), nullptr, nullptr, reinterpret_cast<BYTE*>(&marker),
                                   &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(marker, 7u);
    }
    EXPECT_EQ(RegOpenKeyExW(Root(), W("Sub"), 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryApiTest, OpenKeyWithoutSubkeyReopensTheKey) {
    Set(Root(), W("Marker"), REG_DWORD, Dword(1));
    for (const WCHAR* empty : {static_cast<const WCHAR*>(nullptr), W("")}) {
        Key again;
        ASSERT_EQ(RegOpenKeyExW(Root(), empty, 0, KEY_READ, again.out()), ERROR_SUCCESS);
        EXPECT_NE(again.get(), Root());  // a handle of its own
        EXPECT_EQ(RegQueryValueExW(again.get(), W("Marker"), nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
    }
    // A predefined key comes back as itself.
    for (HKEY predefined : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CLASSES_ROOT}) {
        HKEY same = nullptr;
        EXPECT_EQ(RegOpenKeyExW(predefined, nullptr, 0, KEY_READ, &same), ERROR_SUCCESS);
        EXPECT_EQ(same, predefined);
        EXPECT_EQ(RegOpenKeyExW(predefined, W(""), 0, KEY_READ, &same), ERROR_SUCCESS);
        EXPECT_EQ(same, predefined);
        EXPECT_EQ(RegCloseKey(same), ERROR_SUCCESS);
    }
}

TEST_F(RegistryApiTest, NamesIgnoreCaseAndKeepTheirFirstCase) {
    Create(W("MixedCase"));
    Key again;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(Root(), W("MIXEDCASE"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, again.out(),
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(SubkeyNames(Root()), std::vector<WString>{W("MixedCase")});

    Set(Root(), W("Value"), REG_DWORD, Dword(1));
    Set(Root(), W("VALUE"), REG_DWORD, Dword(2));
    WCHAR name[32];
    DWORD length = 32;
    DWORD data = 0;
    DWORD size = sizeof data;
    ASSERT_EQ(
        RegEnumValueW(Root(), 0, name, &length, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(WString(name, length), W("Value"));
    EXPECT_EQ(data, 2u);
    length = 32;
    EXPECT_EQ(RegEnumValueW(Root(), 1, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryApiTest, EnumKeysListsSortedNamesAndReportsShortBuffers) {
    for (const WCHAR* name : {W("beta"), W("Alpha"), W("gamma")}) Create(name);
    EXPECT_EQ(SubkeyNames(Root()), (std::vector<WString>{W("Alpha"), W("beta"), W("gamma")}));

    struct Case {
        const char* what;
        DWORD index;
        DWORD length;  // of the name buffer, in characters
        LSTATUS status;
        DWORD lengthAfter;
    };
    const Case cases[] = {
        {"room for the name and its terminator", 0, 6, ERROR_SUCCESS, 5},
        {"no room for the terminator", 0, 5, ERROR_MORE_DATA, 5},
        {"far too small", 1, 2, ERROR_MORE_DATA, 2},
        {"past the end", 3, 64, ERROR_NO_MORE_ITEMS, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WCHAR name[64];
        DWORD length = c.length;
        FILETIME written{};
        EXPECT_EQ(RegEnumKeyExW(Root(), c.index, name, &length, nullptr, nullptr, nullptr, &written),
                  c.status);
        EXPECT_EQ(length, c.lengthAfter);
        if (c.status == ERROR_SUCCESS) {
            EXPECT_EQ(WString(name), W("Alpha"));
            EXPECT_NE(written.dwLowDateTime | written.dwHighDateTime, 0u);
        }
    }
    if (!WineDiffers("RegEnumKeyExW writes through a null name buffer (the process crashes)")) {
        DWORD length = 64;
        EXPECT_EQ(RegEnumKeyExW(Root(), 0, nullptr, &length, nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_PARAMETER);
    }
}

TEST_F(RegistryApiTest, EnumValuesListsValuesInTheOrderSet) {
    Set(Root(), W("Zulu"), REG_SZ, Sz(W("last letter")));
    Set(Root(), W("Alpha"), REG_DWORD, Dword(1));
    Set(Root(), W(""), REG_SZ, Sz(W("default")));

    struct Case {
        const char* what;
        DWORD index;
        DWORD nameLength;
        DWORD dataSize;  // ~0: no data buffer
        LSTATUS status;
        const WCHAR* name;  // written, or null when the name must not be
        DWORD type;
        DWORD size;
    };
    constexpr DWORD kNoData = ~DWORD{0};
    const Case cases[] = {
        {"first value", 0, 32, 64, ERROR_SUCCESS, W("Zulu"), REG_SZ, 24},
        {"size query", 0, 32, kNoData, ERROR_SUCCESS, W("Zulu"), REG_SZ, 24},
        {"data buffer too small", 0, 32, 4, ERROR_MORE_DATA, W("Zulu"), REG_SZ, 24},
        {"name buffer without room for the terminator", 0, 4, 64, ERROR_MORE_DATA, nullptr, REG_SZ, 24},
        {"second value", 1, 32, 64, ERROR_SUCCESS, W("Alpha"), REG_DWORD, 4},
        {"the default value has an empty name", 2, 1, 64, ERROR_SUCCESS, W(""), REG_SZ, 16},
        {"past the end", 3, 32, 64, ERROR_NO_MORE_ITEMS, nullptr, 0xDEAD, 64},
    };
    // The indexes above are Windows': Wine's are those of the names in sorted order.
    const bool sorted =
        WineDiffers("RegEnumValueW lists values sorted by name, not in the order they were set");
    auto indexOf = [sorted](DWORD index) -> DWORD { return sorted && index < 3 ? 2 - index : index; };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WCHAR name[32] = {W('#'), 0};
        DWORD nameLength = c.nameLength;
        BYTE data[64];
        DWORD size = c.dataSize == kNoData ? 0 : c.dataSize;
        DWORD type = 0xDEAD;
        EXPECT_EQ(RegEnumValueW(Root(), indexOf(c.index), name, &nameLength, nullptr, &type,
                                c.dataSize == kNoData ? nullptr : data, &size),
                  c.status);
        if (c.status == ERROR_NO_MORE_ITEMS) continue;
        EXPECT_EQ(type, c.type);
        if (c.name) {
            EXPECT_EQ(size, c.size);
            EXPECT_EQ(WString(name), c.name);
            EXPECT_EQ(nameLength, WString(c.name).size());
        } else {
            EXPECT_EQ(nameLength, c.nameLength);  // a name that does not fit is not reported
        }
    }
}

TEST_F(RegistryApiTest, QueryInfoKeyCountsSubkeysAndValues) {
    Create(W("Short"));
    Create(W("A much longer name"));
    Create(W("A much longer name\\Grandchild with the longest name of all"));  // not a subkey of the root
    Set(Root(), W("V"), REG_BINARY, std::vector<BYTE>(100, 1));
    Set(Root(), W("Longest value name"), REG_DWORD, Dword(1));

    DWORD subkeys = 0, maxSubkey = 0, maxClass = 9, values = 0, maxName = 0, maxData = 0;
    FILETIME written{};
    ASSERT_EQ(RegQueryInfoKeyW(Root(), nullptr, nullptr, nullptr, &subkeys, &maxSubkey, &maxClass, &values,
                               &maxName, &maxData, nullptr, &written),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 2u);
    EXPECT_GE(maxSubkey, 18u);  // characters, without the terminator
    EXPECT_EQ(values, 2u);
    EXPECT_GE(maxName, 18u);
    EXPECT_GE(maxData, 100u);
    EXPECT_NE(written.dwLowDateTime | written.dwHighDateTime, 0u);

    // The same time as the parent reports when enumerating the key.
    Key parent;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W("Software"), 0, KEY_READ, parent.out()), ERROR_SUCCESS);
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD length = 256;
        FILETIME enumerated{};
        ASSERT_EQ(RegEnumKeyExW(parent.get(), i, name, &length, nullptr, nullptr, nullptr, &enumerated),
                  ERROR_SUCCESS);
        if (WString(name) != W("HostlensTest")) continue;
        EXPECT_EQ(enumerated.dwLowDateTime, written.dwLowDateTime);
        EXPECT_EQ(enumerated.dwHighDateTime, written.dwHighDateTime);
        break;
    }
}

TEST_F(RegistryApiTest, DeletedKeysAnswerKeyDeletedThroughOpenHandles) {
    Key middle, leaf;
    Create(W("Top\\Middle"), middle);
    Create(W("Top\\Middle\\Leaf"), leaf);
    Set(leaf.get(), W("Value"), REG_DWORD, Dword(1));
    ASSERT_EQ(RegDeleteTreeW(Root(), W("top")), ERROR_SUCCESS);

    for (HKEY deleted : {middle.get(), leaf.get()}) {
        Key sub;
        WCHAR name[32];
        DWORD length = 32;
        DWORD count = 0;
        std::vector<BYTE> one = Dword(1);
        EXPECT_EQ(RegQueryValueExW(deleted, W("Value"), nullptr, nullptr, nullptr, nullptr),
                  ERROR_KEY_DELETED);
        EXPECT_EQ(RegSetValueExW(deleted, W("Value"), 0, REG_DWORD, one.data(), 4), ERROR_KEY_DELETED);
        EXPECT_EQ(RegEnumKeyExW(deleted, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                  ERROR_KEY_DELETED);
        EXPECT_EQ(RegEnumValueW(deleted, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                  ERROR_KEY_DELETED);
        EXPECT_EQ(RegQueryInfoKeyW(deleted, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr),
                  ERROR_KEY_DELETED);
        EXPECT_EQ(RegOpenKeyExW(deleted, W("Leaf"), 0, KEY_READ, sub.out()), ERROR_KEY_DELETED);
        EXPECT_EQ(
            RegCreateKeyExW(deleted, W("New"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.out(), nullptr),
            ERROR_KEY_DELETED);
    }
    // A key created again under the same name is a new key: the old handle stays dead.
    Create(W("Top\\Middle"));
    EXPECT_EQ(RegQueryInfoKeyW(middle.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(middle.release()), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeW(Root(), W("Top\\Missing")), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApiTest, DeleteTreeWithoutSubkeyEmptiesTheKey) {
    Key top;
    Create(W("Top"), top);
    Create(W("Top\\Child\\Grandchild"));
    Set(top.get(), W("Value"), REG_DWORD, Dword(1));

    ASSERT_EQ(RegDeleteTreeW(top.get(), nullptr), ERROR_SUCCESS);
    DWORD subkeys = 9, values = 9;
    ASSERT_EQ(RegQueryInfoKeyW(top.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 0u);
    Key again;
    EXPECT_EQ(RegOpenKeyExW(Root(), W("Top"), 0, KEY_READ, again.out()), ERROR_SUCCESS);
}

TEST_F(RegistryApiTest, CloseKeyAcceptsPredefinedKeysAndRejectsOthers) {
    for (HKEY predefined : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CLASSES_ROOT})
        EXPECT_EQ(RegCloseKey(predefined), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryApiTest, HandlesAllowOnlyTheRightsTheyWereOpenedWith) {
    Create(W("Sub"));
    std::vector<BYTE> one = Dword(1);
    Set(Root(), W("Value"), REG_DWORD, one);
    struct Case {
        const char* what;
        DWORD access;
        LSTATUS query, set, enumKeys, enumValues;
    };
    const Case cases[] = {
        {"read", KEY_READ, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS},
        {"write", KEY_WRITE, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {"query only", KEY_QUERY_VALUE, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
         ERROR_SUCCESS},
        {"enumerate only", KEY_ENUMERATE_SUB_KEYS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_SUCCESS,
         ERROR_ACCESS_DENIED},
        {"everything", KEY_ALL_ACCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS},
        {"generic read", 0x80000000, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Key key;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestRoot, 0, c.access, key.out()), ERROR_SUCCESS);
        WCHAR name[32];
        DWORD length = 32;
        EXPECT_EQ(RegQueryValueExW(key.get(), W("Value"), nullptr, nullptr, nullptr, nullptr), c.query);
        EXPECT_EQ(RegSetValueExW(key.get(), W("Value"), 0, REG_DWORD, one.data(), 4), c.set);
        EXPECT_EQ(RegEnumKeyExW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), c.enumKeys);
        length = 32;
        EXPECT_EQ(RegEnumValueW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                  c.enumValues);
        // Subkeys open through any handle: their own security decides.
        Key sub;
        EXPECT_EQ(RegOpenKeyExW(key.get(), W("Sub"), 0, KEY_READ, sub.out()), ERROR_SUCCESS);
    }
}

TEST_F(RegistryApiTest, NamesCompareWithoutCaseAsWindowsDoes) {
    struct Case {
        const char* what;
        const WCHAR* name;
        const WCHAR* other;
        bool same;
    };
    const Case cases[] = {
        {"Latin-1", W("Caf\u00e9 \u00ff"), W("CAF\u00c9 \u0178"), true},
        {"Cyrillic", W("\u041a\u043b\u044e\u0447"), W("\u041a\u041b\u042e\u0427"), true},
        {"Greek", W("\u03c3\u03bf\u03c6\u03af\u03b1"), W("\u03a3\u039f\u03a6\u038a\u0391"), true},
        {"full-width Latin", W("\uff41\uff42"), W("\uff21\uff22"), true},
        // Each UTF-16 code unit is upper-cased alone: surrogates stay as they are.
        {"Deseret, outside the BMP", W("\U00010428"), W("\U00010400"), false},
        {"no expansion", W("Stra\u00dfe"), W("STRASSE"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Create(c.name);
        Key other;
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExW(Root(), c.other, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, other.out(),
                                  &disposition),
                  ERROR_SUCCESS);
        EXPECT_EQ(disposition, c.same ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY);
        other.Reset();
        Set(Root(), c.name, REG_DWORD, Dword(1));
        EXPECT_EQ(RegQueryValueExW(Root(), c.other, nullptr, nullptr, nullptr, nullptr),
                  c.same ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        RegDeleteTreeW(Root(), c.name);
        RegDeleteTreeW(Root(), c.other);
    }
}

// 64-bit Windows shares some keys below HKLM\SOFTWARE between its two views instead of
// redirecting them. Runs against the machine's own HKLM on Windows, in keys of its own.
TEST_F(RegistryApiTest, SomeSoftwareKeysAreSharedBetweenTheViews) {
    struct Case {
        const char* what;
        const WCHAR* parent;  // below HKLM, of the test's key HostlensTest
        bool shared;
    };
    const Case cases[] = {
        {"a vendor's key is redirected", W("SOFTWARE"), false},
        {"Group Policy is shared", W("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group Policy"), true},
        {"Policies is shared", W("SOFTWARE\\Policies"), true},
        {"Classes is shared", W("SOFTWARE\\Classes"),
         !WineDiffers("HKLM\\SOFTWARE\\Classes is redirected in the 32-bit view, not shared")},
        {"CLSID below Classes is redirected", W("SOFTWARE\\Classes\\CLSID"), false},
    };
    // Through the parent opened in one view: the test's key is created, written, read
    // or deleted there.
    auto parent = [](const Case& c, DWORD view, Key& key) {
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, c.parent, 0, nullptr, 0,
                               KEY_READ | KEY_CREATE_SUB_KEY | view, nullptr, key.out(), nullptr);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Key native, wow;
        ASSERT_EQ(parent(c, KEY_WOW64_64KEY, native), ERROR_SUCCESS);
        ASSERT_EQ(parent(c, KEY_WOW64_32KEY, wow), ERROR_SUCCESS);
        for (auto [key, bits] : {std::pair{native.get(), DWORD{64}}, std::pair{wow.get(), DWORD{32}}}) {
            Key test;
            ASSERT_EQ(RegCreateKeyExW(key, W("HostlensTest"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                      test.out(), nullptr),
                      ERROR_SUCCESS);
            Set(test.get(), W("Bits"), REG_DWORD, Dword(bits));
        }
        auto bitsIn = [](HKEY key) {
            Key test;
            DWORD bits = 0;
            DWORD size = sizeof bits;
            if (RegOpenKeyExW(key, W("HostlensTest"), 0, KEY_READ, test.out()) == ERROR_SUCCESS)
                RegQueryValueExW(test.get(), W("Bits"), nullptr, nullptr, reinterpret_cast<BYTE*>(&bits),
                                 &size);
            return bits;
        };
        EXPECT_EQ(bitsIn(wow.get()), 32u);
        EXPECT_EQ(bitsIn(native.get()), c.shared ? 32u : 64u);
        RegDeleteTreeW(native.get(), W("HostlensTest"));
        RegDeleteTreeW(wow.get(), W("HostlensTest"));
    }
}

}  // namespace
}  // namespace hostlens::test
