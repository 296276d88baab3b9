// The simulated registry seen from both sides: the store the machine is built with,
// and the Win32 calls a 32- or 64-bit process makes on a 32- or 64-bit machine.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/registry/registry_store.h"
#include "support/machine_test.h"

namespace hostlens::test {
namespace {

namespace reg = sim::registry;

std::vector<std::uint8_t> Dword(DWORD value) {
    std::vector<std::uint8_t> bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

// Reads a DWORD through the Win32 calls: the key's path from `root`, in `flags`' view.
// Answers the error of the first call that fails, or the value.
struct Read {
    LSTATUS status = ERROR_SUCCESS;
    DWORD value = 0;
};
Read ReadDword(HKEY root, const WCHAR* path, const WCHAR* name, DWORD flags = 0) {
    HKEY key = nullptr;
    Read read;
    read.status = RegOpenKeyExW(root, path, 0, KEY_READ | flags, &key);
    if (read.status != ERROR_SUCCESS) return read;
    DWORD size = sizeof read.value;
    read.status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&read.value), &size);
    RegCloseKey(key);
    return read;
}

std::uint64_t Ticks(FILETIME time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

FILETIME Time(std::uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

class RegistryTest : public MachineTest {
protected:
    void TearDown() override {
        reg::SetThreadUser(u"");
        MachineTest::TearDown();
    }
};

TEST_F(RegistryTest, ViewsRedirectThirtyTwoBitSoftwareKeys) {
    const WCHAR* kNative = W("HKLM\\SOFTWARE\\Vendor");
    const WCHAR* kWow = W("HKLM\\SOFTWARE\\WOW6432Node\\Vendor");
    struct Case {
        const char* what;
        bool native64;
        bool process64;
        HKEY root;
        const WCHAR* path;
        DWORD flags;
        const WCHAR* stored;     // where the key the call names is stored
        const WCHAR* elsewhere;  // a key of the same name in the other view
    };
    const Case cases[] = {
        {"32-bit process", true, false, HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor"), 0, kWow, kNative},
        {"32-bit process, 64-bit view", true, false, HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor"),
         KEY_WOW64_64KEY, kNative, kWow},
        {"32-bit process, 32-bit view", true, false, HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor"),
         KEY_WOW64_32KEY, kWow, kNative},
        {"64-bit process", true, true, HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor"), 0, kNative, kWow},
        {"64-bit process, 32-bit view", true, true, HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor"),
         KEY_WOW64_32KEY, kWow, kNative},
        {"64-bit process, 64-bit view", true, true, HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor"),
         KEY_WOW64_64KEY, kNative, kWow},
        {"32-bit machine", false, false, HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor"), 0, kNative, kWow},
        {"32-bit machine ignores the 32-bit flag", false, false, HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor"),
         KEY_WOW64_32KEY, kNative, kWow},
        {"32-bit machine ignores the 64-bit flag", false, false, HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor"),
         KEY_WOW64_64KEY, kNative, kWow},
        {"names in another case", true, false, HKEY_LOCAL_MACHINE, W("software\\VENDOR"), 0, kWow, kNative},
        {"a path naming WOW6432Node is not redirected again", true, false, HKEY_LOCAL_MACHINE,
         W("SOFTWARE\\wow6432node\\Vendor"), 0, kWow, W("HKLM\\SOFTWARE\\WOW6432Node\\WOW6432Node\\Vendor")},
        {"SOFTWARE itself", true, false, HKEY_LOCAL_MACHINE, W("SOFTWARE"), 0,
         W("HKLM\\SOFTWARE\\WOW6432Node"), W("HKLM\\SOFTWARE")},
        {"keys outside SOFTWARE are shared", true, false, HKEY_LOCAL_MACHINE, W("SYSTEM\\Vendor"), 0,
         W("HKLM\\SYSTEM\\Vendor"), W("HKLM\\SYSTEM\\WOW6432Node\\Vendor")},
        {"HKCU is shared", true, false, HKEY_CURRENT_USER, W("Software\\Vendor"), 0,
         W("HKU\\S-1-5-18\\Software\\Vendor"), W("HKU\\S-1-5-18\\Software\\WOW6432Node\\Vendor")},
        {"HKCR from a 32-bit process", true, false, HKEY_CLASSES_ROOT, W("CLSID\\Vendor"), 0,
         W("HKLM\\SOFTWARE\\WOW6432Node\\Classes\\CLSID\\Vendor"),
         W("HKLM\\SOFTWARE\\Classes\\CLSID\\Vendor")},
        {"HKCR from a 64-bit process", true, true, HKEY_CLASSES_ROOT, W("CLSID\\Vendor"), 0,
         W("HKLM\\SOFTWARE\\Classes\\CLSID\\Vendor"),
         W("HKLM\\SOFTWARE\\WOW6432Node\\Classes\\CLSID\\Vendor")},
        {"HKCR in the 64-bit view", true, false, HKEY_CLASSES_ROOT, W("CLSID\\Vendor"), KEY_WOW64_64KEY,
         W("HKLM\\SOFTWARE\\Classes\\CLSID\\Vendor"),
         W("HKLM\\SOFTWARE\\WOW6432Node\\Classes\\CLSID\\Vendor")},
        {"a key the views share", true, false, HKEY_LOCAL_MACHINE,
         W("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group Policy\\History"), 0,
         W("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group Policy\\History"),
         W("HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Group Policy\\History")},
        {"a shared key in another case", true, false, HKEY_LOCAL_MACHINE, W("software\\POLICIES\\Vendor"), 0,
         W("HKLM\\SOFTWARE\\Policies\\Vendor"), W("HKLM\\SOFTWARE\\WOW6432Node\\Policies\\Vendor")},
        {"HKCR shares what Classes shares", true, false, HKEY_CLASSES_ROOT, W("Vendor.Document"), 0,
         W("HKLM\\SOFTWARE\\Classes\\Vendor.Document"),
         W("HKLM\\SOFTWARE\\WOW6432Node\\Classes\\Vendor.Document")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::ResetMachine();
        sim::MachineFacts().native64 = c.native64;
        sim::MachineFacts().process64 = c.process64;
        ASSERT_TRUE(reg::SetValue(c.stored, u"Marker", REG_DWORD, Dword(1)));
        ASSERT_TRUE(reg::SetValue(c.elsewhere, u"Marker", REG_DWORD, Dword(2)));

        Read read = ReadDword(c.root, c.path, W("Marker"), c.flags);
        EXPECT_EQ(read.status, ERROR_SUCCESS);
        EXPECT_EQ(read.value, 1u);

        // Keys created through the same path land in the same place.
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExW(c.root, c.path, 0, nullptr, 0, KEY_ALL_ACCESS | c.flags, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        HKEY created = nullptr;
        ASSERT_EQ(
            RegCreateKeyExW(key, W("Created"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
            ERROR_SUCCESS);
        RegCloseKey(created);
        RegCloseKey(key);
        EXPECT_TRUE(reg::KeyExists(std::u16string(c.stored) + u"\\Created"));
        EXPECT_FALSE(reg::KeyExists(std::u16string(c.elsewhere) + u"\\Created"));
    }
}

TEST_F(RegistryTest, AFreshMachineHasTheKeysEveryWindowsHas) {
    struct Case {
        const char* what;
        bool native64;
        bool process64;
        std::vector<std::u16string> software;  // what HKLM\SOFTWARE holds afterwards
    };
    const Case cases[] = {
        {"32-bit process on a 64-bit machine", true, false, {u"Classes", u"WOW6432Node"}},
        {"64-bit process on a 64-bit machine", true, true, {u"Classes"}},
        {"32-bit machine", false, false, {u"Classes"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::ResetMachine();
        sim::MachineFacts().native64 = c.native64;
        sim::MachineFacts().process64 = c.process64;
        for (const WCHAR* path : {W("SOFTWARE"), W("SOFTWARE\\Classes"), W("SYSTEM")})
            EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, path, W("None")).status, ERROR_FILE_NOT_FOUND)
                << Utf8(path);  // the key opens, the value is missing
        for (const WCHAR* path : {W(".DEFAULT"), W("S-1-5-18")})
            EXPECT_EQ(ReadDword(HKEY_USERS, path, W("None")).status, ERROR_FILE_NOT_FOUND) << Utf8(path);
        for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS}) {
            DWORD subkeys = 99;
            EXPECT_EQ(RegQueryInfoKeyW(root, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, nullptr),
                      ERROR_SUCCESS);
        }
        EXPECT_EQ(reg::SubkeyNames(u"HKLM\\SOFTWARE"), c.software);
    }
}

TEST_F(RegistryTest, HandlesKeepTheViewTheyWereOpenedIn) {
    sim::MachineFacts().native64 = true;
    sim::MachineFacts().process64 = false;
    ASSERT_TRUE(reg::SetValue(u"HKLM\\SOFTWARE\\Vendor", u"Bits", REG_DWORD, Dword(64)));
    ASSERT_TRUE(reg::SetValue(u"HKLM\\SOFTWARE\\WOW6432Node\\Vendor", u"Bits", REG_DWORD, Dword(32)));
    const char16_t* kPolicy = u"Microsoft\\Windows\\CurrentVersion\\Group Policy";
    ASSERT_TRUE(reg::SetValue(u"HKLM\\SOFTWARE\\" + std::u16string(kPolicy), u"Bits", REG_DWORD, Dword(64)));
    ASSERT_TRUE(reg::SetValue(u"HKLM\\SOFTWARE\\WOW6432Node\\" + std::u16string(kPolicy), u"Bits", REG_DWORD,
                              Dword(32)));
    struct Case {
        const char* what;
        const WCHAR* first;  // opened from HKLM with `firstFlags`
        DWORD firstFlags;
        const WCHAR* second;  // opened through the first handle with `secondFlags`
        DWORD secondFlags;
        DWORD bits;
    };
    const Case cases[] = {
        {"64-bit handle on SOFTWARE", W("SOFTWARE"), KEY_WOW64_64KEY, W("Vendor"), 0, 64},
        {"32-bit handle on SOFTWARE", W("SOFTWARE"), 0, W("Vendor"), 0, 32},
        {"64-bit handle on the machine root", W(""), KEY_WOW64_64KEY, W("SOFTWARE\\Vendor"), 0, 64},
        {"32-bit handle on the machine root", W(""), 0, W("SOFTWARE\\Vendor"), 0, 32},
        {"a flag overrides the handle's view", W(""), KEY_WOW64_64KEY, W("SOFTWARE\\Vendor"), KEY_WOW64_32KEY,
         32},
        {"a flag overrides the handle's view, too", W(""), KEY_WOW64_32KEY, W("SOFTWARE\\Vendor"),
         KEY_WOW64_64KEY, 64},
        {"32-bit subkey of a 64-bit handle on SOFTWARE", W("SOFTWARE"), KEY_WOW64_64KEY, W("Vendor"),
         KEY_WOW64_32KEY, 32},
        // The shared key is the native one, whichever handle leads there.
        {"shared key below a 32-bit handle", W("SOFTWARE\\Microsoft"), 0,
         W("Windows\\CurrentVersion\\Group Policy"), 0, 64},
        {"shared key below a 32-bit handle on WOW6432Node", W("SOFTWARE\\WOW6432Node\\Microsoft\\Windows"),
         KEY_WOW64_64KEY, W("CurrentVersion\\Group Policy"), KEY_WOW64_32KEY, 64},
        {"WOW6432Node named through a 64-bit handle", W("SOFTWARE\\WOW6432Node\\Microsoft\\Windows"),
         KEY_WOW64_64KEY, W("CurrentVersion\\Group Policy"), 0, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // RegCreateKeyExW: unlike RegOpenKeyExW, it returns a handle of its own for the root itself.
        HKEY first = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, c.first, 0, nullptr, 0, KEY_READ | c.firstFlags,
                                  nullptr, &first, nullptr),
                  ERROR_SUCCESS);
        Read read = ReadDword(first, c.second, W("Bits"), c.secondFlags);
        EXPECT_EQ(read.status, ERROR_SUCCESS);
        EXPECT_EQ(read.value, c.bits);
        RegCloseKey(first);
    }
}

// RegOpenCurrentUser opens the hive of the thread's user (impersonation included); the
// predefined HKEY_CURRENT_USER stays the hive of the first thread that used it, as
// Windows caches it for the process.
TEST_F(RegistryTest, OnlyRegOpenCurrentUserFollowsTheThreadsUser) {
    auto setUp = [] {
        ASSERT_TRUE(reg::SetValue(u"HKU\\S-1-5-18\\Software\\App", u"Who", REG_DWORD, Dword(18)));
        ASSERT_TRUE(reg::SetValue(u"HKU\\S-1-5-21-1\\Software\\App", u"Who", REG_DWORD, Dword(21)));
        ASSERT_TRUE(reg::SetValue(u"HKU\\.DEFAULT\\Software\\App", u"Who", REG_DWORD, Dword(0)));
    };
    auto threadsUser = [] {
        HKEY user = nullptr;
        EXPECT_EQ(RegOpenCurrentUser(KEY_READ, &user), ERROR_SUCCESS);
        Read read = ReadDword(user, W("Software\\App"), W("Who"));
        RegCloseKey(user);
        return read.value;
    };
    auto predefined = [] { return ReadDword(HKEY_CURRENT_USER, W("Software\\App"), W("Who")).value; };
    struct Case {
        const char16_t* firstUser;  // the user of the thread that uses HKEY_CURRENT_USER first
        DWORD cached;
    };
    const Case cases[] = {{u"", 18}, {u"S-1-5-21-1", 21}, {u"S-1-5-21-999", 0}};  // no hive: .DEFAULT
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.firstUser));
        sim::ResetMachine();
        setUp();
        reg::SetThreadUser(c.firstUser);
        EXPECT_EQ(predefined(), c.cached);
        struct Later {
            const char16_t* sid;
            std::u16string user;
            DWORD who;
        };
        const Later later[] = {{u"", u"S-1-5-18", 18},
                               {u"S-1-5-21-1", u"S-1-5-21-1", 21},
                               {u"S-1-5-21-999", u"S-1-5-21-999", 0}};
        for (const Later& l : later) {
            reg::SetThreadUser(l.sid);
            EXPECT_EQ(reg::ThreadUser(), l.user);
            EXPECT_EQ(threadsUser(), l.who);
            EXPECT_EQ(predefined(), c.cached);
        }
        // Other threads keep their own user, and the process's HKEY_CURRENT_USER.
        reg::SetThreadUser(u"S-1-5-21-1");
        DWORD other = 99;
        DWORD otherPredefined = 99;
        std::thread([&] {
            other = threadsUser();
            otherPredefined = predefined();
        }).join();
        EXPECT_EQ(other, 18u);
        EXPECT_EQ(otherPredefined, c.cached);
    }

    // A handle stays on the key it was opened on when the thread's user changes.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenCurrentUser(KEY_READ, &key), ERROR_SUCCESS);
    reg::SetThreadUser(u"S-1-5-18");
    EXPECT_EQ(ReadDword(key, nullptr, W("Who")).value, 0u);
    EXPECT_EQ(ReadDword(key, W("Software\\App"), W("Who")).value, 21u);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenCurrentUser(KEY_READ, nullptr), ERROR_INVALID_PARAMETER);

    // A new machine starts every thread as the process's user.
    reg::SetThreadUser(u"S-1-5-21-1");
    sim::ResetMachine();
    EXPECT_EQ(reg::ThreadUser(), u"S-1-5-18");
}

TEST_F(RegistryTest, EveryCallFailsOnDemand) {
    ASSERT_TRUE(reg::SetValue(u"HKCU\\Software\\App", u"Value", REG_DWORD, Dword(1)));
    HKEY app = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W("Software\\App"), 0, KEY_ALL_ACCESS, &app), ERROR_SUCCESS);
    std::vector<std::uint8_t> one = Dword(1);
    WCHAR name[64];
    DWORD length = 64;
    struct Case {
        const char* function;
        LSTATUS error;
        std::function<LSTATUS()> call;
    };
    const Case cases[] = {
        {"RegOpenKeyExW", ERROR_ACCESS_DENIED,
         [&] {
             HKEY key = app;
             LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, W("Software\\App"), 0, KEY_READ, &key);
             if (status == ERROR_SUCCESS)
                 RegCloseKey(key);
             else
                 EXPECT_EQ(key, nullptr);
             return status;
         }},
        {"RegOpenCurrentUser", ERROR_ACCESS_DENIED,
         [&] {
             HKEY key = app;
             LSTATUS status = RegOpenCurrentUser(KEY_READ, &key);
             if (status == ERROR_SUCCESS)
                 RegCloseKey(key);
             else
                 EXPECT_EQ(key, nullptr);
             return status;
         }},
        {"RegCreateKeyExW", ERROR_ACCESS_DENIED,
         [&] {
             HKEY key = app;
             LSTATUS status =
                 RegCreateKeyExW(app, W("New"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
             if (status == ERROR_SUCCESS)
                 RegCloseKey(key);
             else
                 EXPECT_EQ(key, nullptr);
             return status;
         }},
        {"RegCloseKey", ERROR_INVALID_HANDLE,
         [&] {
             HKEY key = nullptr;
             RegOpenKeyExW(app, nullptr, 0, KEY_READ, &key);
             LSTATUS status = RegCloseKey(key);
             if (status != ERROR_SUCCESS) {
                 EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);  // still open
             }
             return status;
         }},
        {"RegQueryValueExW", ERROR_NOT_ENOUGH_MEMORY,
         [&] { return RegQueryValueExW(app, W("Value"), nullptr, nullptr, nullptr, nullptr); }},
        {"RegSetValueExW", ERROR_ACCESS_DENIED,
         [&] { return RegSetValueExW(app, W("Value"), 0, REG_DWORD, one.data(), 4); }},
        {"RegDeleteTreeW", ERROR_ACCESS_DENIED,
         [&] {
             reg::CreateKey(u"HKCU\\Software\\App\\Victim");
             return RegDeleteTreeW(app, W("Victim"));
         }},
        {"RegEnumKeyExW", ERROR_CANTREAD,
         [&] {
             length = 64;
             reg::CreateKey(u"HKCU\\Software\\App\\Child");
             return RegEnumKeyExW(app, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
         }},
        {"RegEnumValueW", ERROR_CANTREAD,
         [&] {
             length = 64;
             return RegEnumValueW(app, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
         }},
        {"RegQueryInfoKeyW", ERROR_CANTREAD,
         [&] {
             return RegQueryInfoKeyW(app, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        long keys = sim::Open().keys;
        unsigned calls = sim::CallCount(c.function);
        sim::FailCall(c.function, 1, static_cast<std::uint32_t>(c.error));
        EXPECT_EQ(c.call(), c.error);
        EXPECT_EQ(sim::Open().keys, keys);
        EXPECT_EQ(c.call(), ERROR_SUCCESS);  // only the call asked for fails
        EXPECT_EQ(sim::Open().keys, keys);
        EXPECT_GE(sim::CallCount(c.function), calls + 2);
    }
    EXPECT_TRUE(reg::KeyExists(u"HKCU\\Software\\App\\New"));
    RegCloseKey(app);
}

TEST_F(RegistryTest, StaleAndMadeUpHandlesAreRejected) {
    HKEY closed = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, W("SOFTWARE"), 0, KEY_ALL_ACCESS, &closed), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    long junk[4] = {};
    struct Case {
        const char* what;
        HKEY key;
    };
    const Case cases[] = {
        {"closed handle", closed},
        {"pointer to something else", reinterpret_cast<HKEY>(&junk[1])},
        {"null", nullptr},
        {"an unknown predefined key",
         reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000004)))},
    };
    std::vector<std::uint8_t> one = Dword(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HKEY out = nullptr;
        WCHAR name[64];
        DWORD length = 64;
        EXPECT_EQ(RegOpenKeyExW(c.key, W("Sub"), 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCreateKeyExW(c.key, W("Sub"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryValueExW(c.key, W("Value"), nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegSetValueExW(c.key, W("Value"), 0, REG_DWORD, one.data(), 4), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteTreeW(c.key, W("Sub")), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteTreeW(c.key, nullptr), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumKeyExW(c.key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumValueW(c.key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryInfoKeyW(c.key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCloseKey(c.key), ERROR_INVALID_HANDLE);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(junk[1], 0);
}

TEST_F(RegistryTest, EveryOpenedKeyIsCountedUntilClosed) {
    const long before = sim::Open().keys;
    HKEY created = nullptr, reopened = nullptr, predefined = nullptr, missing = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, W("Software\\App"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &created, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(sim::Open().keys, before + 1);
    ASSERT_EQ(RegOpenKeyExW(created, nullptr, 0, KEY_READ, &reopened), ERROR_SUCCESS);
    EXPECT_EQ(sim::Open().keys, before + 2);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &predefined), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, W("Missing"), 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(sim::Open().keys, before + 2);

    EXPECT_EQ(RegCloseKey(created), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(created), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(predefined), ERROR_SUCCESS);
    EXPECT_EQ(sim::Open().keys, before + 1);

    // A new machine takes back what the old one still had open.
    sim::ResetMachine();
    EXPECT_EQ(sim::Open().keys, before);
    EXPECT_EQ(RegCloseKey(reopened), ERROR_INVALID_HANDLE);
    EXPECT_EQ(sim::Open().keys, before);
}

TEST_F(RegistryTest, StoreBuildsWhatTheCallsRead) {
    // A fresh machine.
    EXPECT_EQ(reg::SubkeyNames(u"HKEY_LOCAL_MACHINE"), (std::vector<std::u16string>{u"SOFTWARE", u"SYSTEM"}));
    EXPECT_EQ(reg::SubkeyNames(u"HKEY_USERS"), (std::vector<std::u16string>{u".DEFAULT", u"S-1-5-18"}));
    EXPECT_EQ(reg::SubkeyNames(u"HKEY_CLASSES_ROOT"), std::vector<std::u16string>{});

    ASSERT_TRUE(reg::CreateKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product"));
    ASSERT_TRUE(reg::CreateKey(u"hklm\\software\\vendor\\Another"));
    ASSERT_TRUE(reg::SetValue(u"HKLM\\SOFTWARE\\Vendor", u"Version", REG_DWORD, Dword(3)));
    ASSERT_TRUE(reg::SetValue(u"HKLM\\SOFTWARE\\Vendor", u"", REG_BINARY, std::vector<std::uint8_t>{1, 2}));
    ASSERT_TRUE(reg::SetValue(u"HKCR\\.txt", u"", REG_SZ, std::vector<std::uint8_t>{'t', 0, 0, 0}));
    EXPECT_FALSE(reg::CreateKey(u"HKEY_NOWHERE\\Key"));
    EXPECT_FALSE(reg::KeyExists(u"HKLM\\SOFTWARE\\Missing"));

    EXPECT_EQ(reg::SubkeyNames(u"HKLM\\SOFTWARE\\Vendor"),
              (std::vector<std::u16string>{u"Another", u"Product"}));
    auto values = reg::Values(u"HKLM\\SOFTWARE\\Vendor");
    ASSERT_TRUE(values);
    ASSERT_EQ(values->size(), 2u);
    EXPECT_EQ((*values)[0].name, u"Version");
    EXPECT_EQ((*values)[1].name, u"");
    EXPECT_TRUE(reg::KeyExists(u"HKLM\\SOFTWARE\\Classes\\.txt"));  // HKCR is HKLM\SOFTWARE\Classes

    // Deleted values leave no gap in the order; a value set again goes last.
    for (const char16_t* name : {u"a", u"b", u"c", u"d"})
        ASSERT_TRUE(reg::SetValue(u"HKLM\\SOFTWARE\\Order", name, REG_DWORD, Dword(1)));
    EXPECT_TRUE(reg::DeleteValue(u"HKLM\\SOFTWARE\\Order", u"B"));
    EXPECT_TRUE(reg::DeleteValue(u"HKLM\\SOFTWARE\\Order", u"c"));
    ASSERT_TRUE(reg::SetValue(u"HKLM\\SOFTWARE\\Order", u"b", REG_DWORD, Dword(2)));
    std::vector<std::u16string> order;
    auto ordered = reg::Values(u"HKLM\\SOFTWARE\\Order");
    for (const auto& value : *ordered) order.push_back(value.name);
    EXPECT_EQ(order, (std::vector<std::u16string>{u"a", u"d", u"b"}));

    sim::MachineFacts().process64 = true;
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor"), W("Version")).value, 3u);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Vendor"), 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    std::vector<std::uint8_t> seven = Dword(7);
    ASSERT_EQ(RegSetValueExW(key, W("Written"), 0, REG_DWORD, seven.data(), 4), ERROR_SUCCESS);
    auto written = reg::GetValue(u"HKLM\\SOFTWARE\\Vendor", u"WRITTEN");
    ASSERT_TRUE(written);
    EXPECT_EQ(written->type, static_cast<std::uint32_t>(REG_DWORD));
    EXPECT_EQ(written->data, seven);

    // Deleting through the store reaches open handles too.
    EXPECT_TRUE(reg::DeleteValue(u"HKLM\\SOFTWARE\\Vendor", u"written"));
    EXPECT_FALSE(reg::DeleteValue(u"HKLM\\SOFTWARE\\Vendor", u"written"));
    EXPECT_EQ(RegQueryValueExW(key, W("Written"), nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(reg::DeleteTree(u"HKLM\\SOFTWARE\\Vendor"));
    EXPECT_FALSE(reg::DeleteTree(u"HKLM\\SOFTWARE\\Vendor"));
    EXPECT_EQ(RegQueryValueExW(key, W("Version"), nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    RegCloseKey(key);

    // The store's 32-bit view is the one 32-bit processes see.
    ASSERT_TRUE(reg::CreateKey(u"HKLM\\SOFTWARE\\Vendor32", reg::View::Bits32));
    EXPECT_TRUE(reg::KeyExists(u"HKLM\\SOFTWARE\\WOW6432Node\\Vendor32"));
    EXPECT_TRUE(reg::KeyExists(u"HKLM\\SOFTWARE\\Vendor32", reg::View::Bits32));
    EXPECT_FALSE(reg::KeyExists(u"HKLM\\SOFTWARE\\Vendor32"));
}

TEST_F(RegistryTest, LastWriteTimesFollowTheClockAndTheLoader) {
    std::uint64_t& now = sim::MachineFacts().clock;
    now = 130000000000000000ULL;

    ASSERT_TRUE(reg::CreateKey(u"HKCU\\Software\\App\\Child"));
    EXPECT_EQ(Ticks(*reg::LastWriteTime(u"HKCU\\Software\\App\\Child")), now);
    EXPECT_EQ(Ticks(*reg::LastWriteTime(u"HKCU\\Software\\App")), now);  // a subkey was added

    struct Step {
        const char* what;
        std::function<void()> change;
        const char16_t* key;  // whose time becomes the clock's
        const char16_t* unchanged;
    };
    const Step steps[] = {
        {"setting a value", [] { reg::SetValue(u"HKCU\\Software\\App", u"V", REG_DWORD, Dword(1)); },
         u"HKCU\\Software\\App", u"HKCU\\Software\\App\\Child"},
        {"setting a value through a handle",
         [] {
             HKEY key = nullptr;
             RegOpenKeyExW(HKEY_CURRENT_USER, W("Software\\App\\Child"), 0, KEY_SET_VALUE, &key);
             std::vector<std::uint8_t> one = Dword(1);
             RegSetValueExW(key, W("V"), 0, REG_DWORD, one.data(), 4);
             RegCloseKey(key);
         },
         u"HKCU\\Software\\App\\Child", u"HKCU\\Software\\App"},
        {"adding a subkey",
         [] {
             HKEY key = nullptr;
             RegCreateKeyExW(HKEY_CURRENT_USER, W("Software\\App\\Child\\Grandchild"), 0, nullptr, 0,
                             KEY_READ, nullptr, &key, nullptr);
             RegCloseKey(key);
         },
         u"HKCU\\Software\\App\\Child", u"HKCU\\Software\\App"},
        {"deleting a subkey",
         [] { RegDeleteTreeW(HKEY_CURRENT_USER, W("Software\\App\\Child\\Grandchild")); },
         u"HKCU\\Software\\App\\Child", u"HKCU\\Software\\App"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        std::uint64_t before = Ticks(*reg::LastWriteTime(step.unchanged));
        now += 1000;
        step.change();
        EXPECT_EQ(Ticks(*reg::LastWriteTime(step.key)), now);
        EXPECT_EQ(Ticks(*reg::LastWriteTime(step.unchanged)), before);
    }

    // A recorded time, as a loader sets it, is what the calls report.
    ASSERT_TRUE(reg::SetLastWriteTime(u"HKCU\\Software\\App\\Child", Time(42)));
    FILETIME queried{}, enumerated{};
    HKEY app = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W("Software\\App"), 0, KEY_READ, &app), ERROR_SUCCESS);
    WCHAR name[16];
    DWORD length = 16;
    ASSERT_EQ(RegEnumKeyExW(app, 0, name, &length, nullptr, nullptr, nullptr, &enumerated), ERROR_SUCCESS);
    HKEY child = nullptr;
    ASSERT_EQ(RegOpenKeyExW(app, W("Child"), 0, KEY_READ, &child), ERROR_SUCCESS);
    ASSERT_EQ(RegQueryInfoKeyW(child, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, &queried),
              ERROR_SUCCESS);
    EXPECT_EQ(Ticks(enumerated), 42u);
    EXPECT_EQ(Ticks(queried), 42u);
    RegCloseKey(child);
    RegCloseKey(app);
    EXPECT_FALSE(reg::SetLastWriteTime(u"HKCU\\Software\\Missing", Time(42)));

    // A machine without a clock of its own follows the host's.
    now = 0;
    ASSERT_TRUE(reg::CreateKey(u"HKCU\\Software\\Fresh"));
    EXPECT_GT(Ticks(*reg::LastWriteTime(u"HKCU\\Software\\Fresh")), 130000000000000000ULL);
}

TEST_F(RegistryTest, PathsAndBuffersAtTheEdges) {
    sim::MachineFacts().process64 = true;
    ASSERT_TRUE(reg::CreateKey(u"HKLM\\SOFTWARE\\Classes\\CLSID"));
    struct Case {
        const char* what;
        HKEY root;
        const WCHAR* path;
        LSTATUS status;
    };
    const Case cases[] = {
        {"leading backslash", HKEY_LOCAL_MACHINE, W("\\SOFTWARE"), ERROR_BAD_PATHNAME},
        {"leading backslash below HKCR", HKEY_CLASSES_ROOT, W("\\CLSID"), ERROR_SUCCESS},
        {"repeated backslashes", HKEY_LOCAL_MACHINE, W("SOFTWARE\\\\Classes"), ERROR_SUCCESS},
        {"trailing backslash", HKEY_LOCAL_MACHINE, W("SOFTWARE\\"), ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(c.root, c.path, 0, KEY_READ, &key), c.status);
        if (key) RegCloseKey(key);
    }

    // Key names are at most 255 characters long.
    HKEY key = nullptr;
    std::u16string longest(255, u'k');
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, longest.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    std::u16string tooLong(256, u'k');
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, tooLong.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, W("Sub"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr,
                              nullptr),
              ERROR_INVALID_PARAMETER);

    // Buffers too small to take the data are left as they were.
    ASSERT_TRUE(
        reg::SetValue(u"HKLM\\SOFTWARE", u"Text", REG_SZ, std::vector<std::uint8_t>{'a', 0, 'b', 0, 0, 0}));
    BYTE data[4] = {0xCC, 0xCC, 0xCC, 0xCC};
    DWORD size = sizeof data;
    EXPECT_EQ(RegQueryValueExW(HKEY_LOCAL_MACHINE, W("SOFTWARE"), nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);  // a value name, not a path
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, W("SOFTWARE"), 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, W("Text"), nullptr, nullptr, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(std::vector<BYTE>(data, data + 4), std::vector<BYTE>(4, 0xCC));
    WCHAR name[4] = {u'#', u'#', u'#', u'#'};
    DWORD length = 4;  // "Text" needs 5 with its terminator
    EXPECT_EQ(RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(std::u16string(name, 4), u"####");
    RegCloseKey(key);
}

TEST_F(RegistryTest, ConcurrentCallersSeeAConsistentRegistry) {
    ASSERT_TRUE(reg::CreateKey(u"HKU\\S-1-5-21-7\\Software"));
    ASSERT_TRUE(reg::CreateKey(u"HKU\\S-1-5-18\\Software"));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            if (t % 2) reg::SetThreadUser(u"S-1-5-21-7");
            HKEY user = nullptr;
            if (RegOpenCurrentUser(KEY_ALL_ACCESS, &user) != ERROR_SUCCESS) ++failures;
            std::u16string path = u"Software\\Worker" + std::u16string(1, char16_t(u'0' + t));
            std::vector<std::uint8_t> bytes = Dword(static_cast<DWORD>(t));
            for (int i = 0; i < 200; ++i) {
                HKEY key = nullptr;
                if (RegCreateKeyExW(user, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                    nullptr) != ERROR_SUCCESS)
                    ++failures;
                RegSetValueExW(key, W("V"), 0, REG_DWORD, bytes.data(), 4);
                if (ReadDword(key, nullptr, W("V")).value != static_cast<DWORD>(t)) ++failures;
                DWORD subkeys = 0;
                HKEY software = nullptr;
                RegOpenKeyExW(user, W("Software"), 0, KEY_READ, &software);
                RegQueryInfoKeyW(software, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr);
                RegCloseKey(software);
                if (RegDeleteTreeW(user, path.c_str()) != ERROR_SUCCESS) ++failures;
                if (RegQueryValueExW(key, W("V"), nullptr, nullptr, nullptr, nullptr) != ERROR_KEY_DELETED)
                    ++failures;
                RegCloseKey(key);
            }
            RegCloseKey(user);
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(reg::SubkeyNames(u"HKU\\S-1-5-18\\Software"), std::vector<std::u16string>{});
    EXPECT_EQ(reg::SubkeyNames(u"HKU\\S-1-5-21-7\\Software"), std::vector<std::u16string>{});
}

}  // namespace
}  // namespace hostlens::test
