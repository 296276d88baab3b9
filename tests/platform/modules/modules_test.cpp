// The module loader: how module names are found, handles and reference counts,
// exports, the built-in system modules, and the entry point of a loaded module.
#include <dlfcn.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/machine_test.h"

namespace hostlens::test {
namespace {

namespace fs = std::filesystem;

const fs::path kModuleA = TEST_MODULE_A;  // has a DllMain
const fs::path kModuleB = TEST_MODULE_B;  // has none
const fs::path kModuleC = TEST_MODULE_C;  // has one that refuses to attach
// Where the test program and the test modules are built: the folder searched for a
// bare module name while no service library is loaded.
const fs::path kBuildFolder = kModuleA.parent_path();

template <class Function>
Function Export(HMODULE module, const char* name) {
    // Through void(*)(), the generic function pointer type, as GetProcAddress's callers do.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The folder of the file that holds `address`.
fs::path FolderOf(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0) return {};
    return fs::path(info.dli_fname).parent_path();
}

HMODULE BaseOf(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0) return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

bool SameFolder(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

class ModulesTest : public MachineTest {
protected:
    // Copies a test module to `relative` below C:\ (forward slashes).
    void Place(const fs::path& module, const std::string& relative) {
        fs::path target = DriveC() / relative;
        fs::create_directories(target.parent_path());
        fs::copy_file(module, target, fs::copy_options::overwrite_existing);
    }

    long OpenModules() const { return sim::Open().modules; }
};

TEST_F(ModulesTest, FindsModulesByWindowsPathDllNameAndBareName) {
    Place(kModuleA, "Program Files/Odd Vendor/libTest_Module_A.so");
    Place(kModuleA, "Tools/TEST_MODULE_A.dll");  // a module under its Windows name
    struct Case {
        const WCHAR* name;
        DWORD flags;
        fs::path folder;
    };
    const Case cases[] = {
        {W("C:\\program files\\ODD VENDOR\\test_module_a.dll"), 0, DriveC() / "Program Files/Odd Vendor"},
        {W("c:/Program Files/Odd Vendor/Test_Module_A.DLL"), LOAD_WITH_ALTERED_SEARCH_PATH,
         DriveC() / "Program Files/Odd Vendor"},
        {W("C:\\Program Files\\..\\Program Files\\Odd Vendor\\test_module_a"), 0,
         DriveC() / "Program Files/Odd Vendor"},
        {W("C:\\Tools\\test_module_a.dll"), 0, DriveC() / "Tools"},
        {W("\\tools\\Test_Module_A"), 0, DriveC() / "Tools"},
        {W("test_module_a.dll"), 0, kBuildFolder},
        {W("TEST_MODULE_A"), LOAD_WITH_ALTERED_SEARCH_PATH, kBuildFolder},
        {W("libtest_module_a.so"), 0, kBuildFolder},
    };
    std::vector<std::string> asked;
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.name));
        asked.push_back(Utf8(c.name));
        asked.push_back("advapi32");  // asked for by its DllMain, while it is being loaded
        HMODULE module = LoadLibraryExW(c.name, nullptr, c.flags);
        ASSERT_NE(module, nullptr) << "error " << GetLastError();
        auto attaches = Export<long (*)()>(module, "TestModuleAttaches");
        ASSERT_NE(attaches, nullptr);
        EXPECT_TRUE(SameFolder(FolderOf(reinterpret_cast<const void*>(attaches)), c.folder))
            << FolderOf(reinterpret_cast<const void*>(attaches));
        // DllMain ran once, with the handle that LoadLibrary returned, and could
        // use the loader itself.
        EXPECT_EQ(attaches(), 1);
        EXPECT_EQ(Export<HINSTANCE (*)()>(module, "TestModuleInstance")(), module);
        EXPECT_TRUE(Export<BOOL (*)()>(module, "TestModuleEntryCallsWorked")());
        EXPECT_TRUE(FreeLibrary(module));
    }
    EXPECT_EQ(sim::ModuleLoadRequests(), asked);
}

TEST_F(ModulesTest, AnEntryPointThatRefusesToAttachFailsTheLoadAndUnloadsTheModule) {
    Place(kModuleC, "App/libtest_module_c.so");
    unsetenv("TEST_MODULE_C_CALLS");
    long before = OpenModules();
    std::string calls;
    // Each load attaches afresh, by path and by bare name.
    for (const WCHAR* name : {W("C:\\App\\test_module_c.dll"), W("test_module_c.dll"), W("test_module_c")}) {
        SCOPED_TRACE(Utf8(name));
        SetLastError(0);
        EXPECT_EQ(LoadLibraryW(name), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
        // Detached at once and unloaded; nothing counted as open.
        calls += "attach;detach;";
        const char* seen = std::getenv("TEST_MODULE_C_CALLS");
        EXPECT_EQ(seen ? seen : "", calls);
        EXPECT_EQ(GetModuleHandleW(W("test_module_c.dll")), nullptr);
        EXPECT_EQ(OpenModules(), before);
    }
}

TEST_F(ModulesTest, MissingModulesAndBadArgumentsFailWithTheirErrors) {
    WriteFile("Broken/libbroken.so", "not a module");
    struct Case {
        const WCHAR* name;
        HANDLE file;
        DWORD flags;
        DWORD error;
    };
    const Case cases[] = {
        {W("C:\\Nowhere\\test_module_a.dll"), nullptr, 0, ERROR_MOD_NOT_FOUND},
        {W("C:\\missing.dll"), nullptr, 0, ERROR_MOD_NOT_FOUND},
        {W("no_such_module_here.dll"), nullptr, 0, ERROR_MOD_NOT_FOUND},
        {W("D:\\test_module_a.dll"), nullptr, 0, ERROR_MOD_NOT_FOUND},  // no drive D:
        {W("relative\\test_module_a.dll"), nullptr, 0, ERROR_MOD_NOT_FOUND},
        {W("\\\\server\\share\\test_module_a.dll"), nullptr, 0, ERROR_MOD_NOT_FOUND},
        {W("C:\\Broken\\"), nullptr, 0, ERROR_MOD_NOT_FOUND},
        {W(""), nullptr, 0, ERROR_MOD_NOT_FOUND},
        {W("C:\\Broken\\broken.dll"), nullptr, 0, ERROR_BAD_EXE_FORMAT},
        {nullptr, nullptr, 0, ERROR_INVALID_PARAMETER},
        {W("test_module_a.dll"), nullptr, 0x2 /* as a data file */, ERROR_INVALID_PARAMETER},
        {W("test_module_a.dll"), reinterpret_cast<HANDLE>(4), 0, ERROR_INVALID_PARAMETER},
    };
    std::vector<std::string> asked;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? Utf8(c.name) : "(null)");
        if (c.name) asked.push_back(Utf8(c.name));
        SetLastError(0);
        EXPECT_EQ(LoadLibraryExW(c.name, c.file, c.flags), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(W("C:\\Nowhere\\test_module_a.dll")), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    asked.push_back("C:\\Nowhere\\test_module_a.dll");
    EXPECT_EQ(sim::ModuleLoadRequests(), asked);

    sim::ResetMachine(DriveC());
    EXPECT_TRUE(sim::ModuleLoadRequests().empty());
}

TEST_F(ModulesTest, LoadingTwiceSharesTheModuleAndTheLastFreeUnloadsIt) {
    Place(kModuleA, "App/libtest_module_a.so");
    long before = OpenModules();

    HMODULE first = LoadLibraryW(W("C:\\App\\test_module_a.dll"));
    ASSERT_NE(first, nullptr);
    HMODULE second =
        LoadLibraryExW(W("c:\\APP\\LIBTEST_MODULE_A.SO"), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    EXPECT_EQ(second, first);
    EXPECT_EQ(OpenModules(), before + 2);
    EXPECT_EQ(Export<long (*)()>(first, "TestModuleAttaches")(), 1);

    long detached = 0;
    Export<void (*)(long*)>(first, "TestModuleCountDetach")(&detached);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(detached, 0);
    EXPECT_EQ(OpenModules(), before + 1);
    EXPECT_NE(GetProcAddress(first, "TestModuleAttaches"), nullptr);

    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(detached, 1);
    EXPECT_EQ(OpenModules(), before);

    // The handle is gone with the module.
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(first, "TestModuleAttaches"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(OpenModules(), before);

    // Loaded again, it starts afresh.
    HMODULE again = LoadLibraryW(W("C:\\App\\test_module_a.dll"));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Export<long (*)()>(again, "TestModuleAttaches")(), 1);
    EXPECT_TRUE(FreeLibrary(again));
}

TEST_F(ModulesTest, GetProcAddressFindsOnlyTheModulesOwnExports) {
    HMODULE a = LoadLibraryW(W("test_module_a.dll"));
    HMODULE b = LoadLibraryW(W("test_module_b.dll"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    struct Case {
        HMODULE module;
        const char* name;
        DWORD error;  // 0: found
    };
    const Case cases[] = {
        {b, "TestModuleB", 0},
        {a, "TestModuleAttaches", 0},
        {b, "TestModuleAttaches", ERROR_PROC_NOT_FOUND},
        {b, "testmoduleb", ERROR_PROC_NOT_FOUND},   // export names keep their case
        {a, "GetLastError", ERROR_PROC_NOT_FOUND},  // an export of a library it uses
        {a, "malloc", ERROR_PROC_NOT_FOUND},
        {a, "DllMain", ERROR_PROC_NOT_FOUND},                         // not exported
        {b, reinterpret_cast<const char*>(1), ERROR_PROC_NOT_FOUND},  // an ordinal
        {b, nullptr, ERROR_PROC_NOT_FOUND},
        {reinterpret_cast<HMODULE>(0x1230), "TestModuleB", ERROR_INVALID_HANDLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(reinterpret_cast<std::uintptr_t>(c.name) < 0x10000 ? "(ordinal)" : c.name);
        SetLastError(0);
        FARPROC found = GetProcAddress(c.module, c.name);
        if (c.error == 0) {
            EXPECT_NE(found, nullptr);
        } else {
            EXPECT_EQ(found, nullptr);
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
    EXPECT_EQ(Export<int (*)()>(b, "TestModuleB")(), 2);
    EXPECT_TRUE(FreeLibrary(b));
    EXPECT_TRUE(FreeLibrary(a));
}

TEST_F(ModulesTest, SystemModulesAreBuiltIn) {
    const WCHAR* const names[] = {W("kernel32"),  W("ADVAPI32.DLL"), W("Ole32.dll"), W("oleaut32"),
                                  W("ntdll.dll"), W("IPHLPAPI.DLL"), W("ws2_32"),    W("wbemuuid.dll"),
                                  W("user32"),    W("Shell32.dll"),  W("USERENV"),   W("version.dll")};
    long before = OpenModules();
    std::set<HMODULE> handles;
    for (const WCHAR* name : names) {
        SCOPED_TRACE(Utf8(name));
        HMODULE module = LoadLibraryW(name);
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(GetModuleHandleW(name), module);
        handles.insert(module);
    }
    EXPECT_EQ(handles.size(), std::size(names));
    EXPECT_EQ(OpenModules(), before + static_cast<long>(std::size(names)));

    HMODULE kernel32 = LoadLibraryW(W("KERNEL32.dll"));
    EXPECT_TRUE(handles.count(kernel32));
    HMODULE advapi32 = GetModuleHandleW(W("advapi32"));

    // The exports are this platform's implementations.
    auto setLastError = Export<void (*)(DWORD)>(kernel32, "SetLastError");
    ASSERT_NE(setLastError, nullptr);
    setLastError(4321);
    EXPECT_EQ(GetLastError(), 4321u);
    EXPECT_NE(GetProcAddress(advapi32, "RegisterTraceGuidsW"), nullptr);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(kernel32, "malloc"), nullptr);  // the C library's, not a system module's
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(kernel32, "NoSuchFunction"), nullptr);

    // A Windows version without an export.
    sim::HideSystemExport("Advapi32.dll", "TraceMessage");
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(advapi32, "TraceMessage"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_NE(GetProcAddress(advapi32, "TraceMessageVa"), nullptr);
    EXPECT_NE(GetProcAddress(kernel32, "TraceMessage"), nullptr);  // hidden in advapi32 only
    sim::ResetMachine(DriveC());
    EXPECT_NE(GetProcAddress(advapi32, "TraceMessage"), nullptr);

    for (HMODULE module : handles) EXPECT_TRUE(FreeLibrary(module));
    EXPECT_TRUE(FreeLibrary(kernel32));
    EXPECT_EQ(OpenModules(), before);
    // System modules are never unloaded: freeing once more succeeds and counts nothing.
    EXPECT_TRUE(FreeLibrary(kernel32));
    EXPECT_EQ(OpenModules(), before);
}

int InTheExecutable() {
    return 0;
}

TEST_F(ModulesTest, GetModuleHandleFindsLoadedModulesWithoutCounting) {
    EXPECT_EQ(GetModuleHandleW(nullptr), BaseOf(reinterpret_cast<const void*>(&InTheExecutable)));
    SetLastError(0);
    EXPECT_EQ(GetModuleHandleW(W("test_module_b.dll")), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    Place(kModuleB, "Odd/libTest_Module_B.so");
    HMODULE module = LoadLibraryW(W("C:\\odd\\test_module_b.dll"));
    ASSERT_NE(module, nullptr);
    long loaded = OpenModules();
    const WCHAR* const names[] = {W("test_module_b.dll"),   W("TEST_MODULE_B.DLL"),
                                  W("libtest_module_b.so"), W("LibTest_Module_B.so"),
                                  W("test_module_b"),       W("C:\\Elsewhere\\test_module_b.dll")};
    for (const WCHAR* name : names) {
        SCOPED_TRACE(Utf8(name));
        EXPECT_EQ(GetModuleHandleW(name), module);
    }
    EXPECT_EQ(OpenModules(), loaded);

    // A library the program was linked with is a loaded module too.
    HMODULE layer = GetModuleHandleW(W("hostlens_win32.dll"));
    ASSERT_NE(layer, nullptr);
    HMODULE kernel32 = GetModuleHandleW(W("kernel32.dll"));
    EXPECT_EQ(BaseOf(reinterpret_cast<const void*>(GetProcAddress(kernel32, "GetLastError"))), layer);
    EXPECT_NE(GetProcAddress(layer, "GetLastError"), nullptr);
    EXPECT_TRUE(DisableThreadLibraryCalls(layer));
    EXPECT_TRUE(DisableThreadLibraryCalls(module));
    SetLastError(0);
    EXPECT_FALSE(DisableThreadLibraryCalls(reinterpret_cast<HMODULE>(0x1230)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleW(W("test_module_b.dll")), nullptr);
}

TEST_F(ModulesTest, BareNamesAreLookedForBesideTheServiceLibraryFirst) {
    Place(kModuleA, "Agent/libHostlensService.so");
    Place(kModuleB, "Agent/libtest_module_b.so");
    HMODULE service = LoadLibraryW(W("C:\\Agent\\HostlensService.dll"));
    ASSERT_NE(service, nullptr);

    HMODULE beside = LoadLibraryW(W("test_module_b.dll"));
    ASSERT_NE(beside, nullptr);
    EXPECT_TRUE(SameFolder(FolderOf(reinterpret_cast<const void*>(GetProcAddress(beside, "TestModuleB"))),
                           DriveC() / "Agent"));
    EXPECT_TRUE(FreeLibrary(beside));
    EXPECT_TRUE(FreeLibrary(service));

    // Without the service library, the program's own folder.
    HMODULE built = LoadLibraryW(W("test_module_b.dll"));
    ASSERT_NE(built, nullptr);
    EXPECT_TRUE(SameFolder(FolderOf(reinterpret_cast<const void*>(GetProcAddress(built, "TestModuleB"))),
                           kBuildFolder));
    EXPECT_TRUE(FreeLibrary(built));
}

TEST_F(ModulesTest, EveryCallCanBeMadeToFail) {
    HMODULE kernel32 = GetModuleHandleW(W("kernel32"));
    // Each call returns whether it succeeded, and undoes what it did.
    struct Case {
        const char* function;
        std::function<bool()> call;
    };
    const Case cases[] = {
        {"LoadLibraryW",
         [] {
             HMODULE module = LoadLibraryW(W("kernel32"));
             return module && FreeLibrary(module);
         }},
        {"LoadLibraryExW",
         [] {
             HMODULE module = LoadLibraryExW(W("test_module_b.dll"), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
             return module && FreeLibrary(module);
         }},
        {"GetProcAddress", [&] { return GetProcAddress(kernel32, "GetLastError") != nullptr; }},
        {"GetModuleHandleW", [] { return GetModuleHandleW(nullptr) != nullptr; }},
        {"DisableThreadLibraryCalls", [&] { return DisableThreadLibraryCalls(kernel32) != FALSE; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        sim::FailCall(c.function, 1, ERROR_ACCESS_DENIED);
        SetLastError(0);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_TRUE(c.call());
    }

    // A FreeLibrary that fails leaves the module loaded and counted.
    HMODULE module = LoadLibraryW(W("test_module_b.dll"));
    ASSERT_NE(module, nullptr);
    long loaded = OpenModules();
    sim::FailCall("FreeLibrary", 1, ERROR_ACCESS_DENIED);
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(module));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(OpenModules(), loaded);
    EXPECT_EQ(Export<int (*)()>(module, "TestModuleB")(), 2);
    EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace
}  // namespace hostlens::test
