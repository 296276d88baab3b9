// Run-time loading of modules over the dynamic linker, with the names, handles and
// reference counts of the Windows loader.
//
// A module handle is the module's load address, as on Windows, so the handle that
// LoadLibrary returns is also the instance that the module's DllMain receives
// (dll_entry.cpp). The table below holds one dlopen reference per module that
// LoadLibrary loaded, and counts LoadLibrary calls on top of it, as the Windows
// loader counts them. The system modules (kernel32, advapi32, ...) are answered by
// this library itself, as a compatibility layer's built-in modules are.
//
// No lock is held while the dynamic linker runs a module's constructors or
// destructors: a DllMain may itself load and free modules. A DllMain that refuses
// the attach says so through entry_point.h; the module stays marked until it has
// detached, so every LoadLibrary that opened it meanwhile fails too.
#include <dlfcn.h>
#include <link.h>
#include <sys/auxv.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/machine/machine.h"
#include "platform/posix/modules/entry_point.h"
#include "platform/posix/modules/system_exports.h"
#include "platform/posix/win32_base.h"
#include "platform/posix/modules/win32_module.h"

namespace hostlens::sim {
namespace {

namespace fs = std::filesystem;
using detail::CompareNoCase;
using detail::Narrow;
using detail::Widen;

// The system modules this library stands in for.
struct BuiltinModule {
    const char16_t* name;  // without ".dll"
};

// Each built-in module's handle is the address of its entry here: fixed for the
// process, distinct per module, and never the load address of a real module.
constexpr std::array<BuiltinModule, 12> kBuiltins{{
    {u"kernel32"},
    {u"advapi32"},
    {u"ole32"},
    {u"oleaut32"},
    {u"ntdll"},
    {u"iphlpapi"},
    {u"ws2_32"},
    {u"wbemuuid"},
    {u"user32"},
    {u"shell32"},
    {u"userenv"},
    {u"version"},
}};

HMODULE BuiltinHandle(std::size_t index) {
    return reinterpret_cast<HMODULE>(const_cast<BuiltinModule*>(&kBuiltins[index]));
}

std::optional<std::size_t> BuiltinIndex(HMODULE module) {
    for (std::size_t i = 0; i < kBuiltins.size(); ++i)
        if (module == BuiltinHandle(i)) return i;
    return std::nullopt;
}

// A module that LoadLibrary loaded: one dlopen reference, and the number of
// LoadLibrary calls not yet matched by FreeLibrary.
struct Loaded {
    void* library = nullptr;
    std::string path;
    long count = 0;
};

struct State {
    std::mutex mutex;
    std::map<HMODULE, Loaded> modules;
    std::array<long, kBuiltins.size()> builtinLoads{};
    std::vector<std::string> requests;
    std::set<std::pair<std::u16string, std::string>> hidden;  // (built-in name, export)
    std::set<HMODULE> refusedAttach;  // whose DllMain returned FALSE, until they detach
};

State& S() {
    static State* state = new State;  // never destroyed: modules unload during static teardown
    return *state;
}

[[maybe_unused]] const bool kResetRegistered = [] {
    detail::OnReset([] {
        std::lock_guard lock(S().mutex);
        S().requests.clear();
        S().hidden.clear();
    });
    return true;
}();

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool EndsWithNoCase(std::u16string_view text, std::u16string_view suffix) {
    return text.size() >= suffix.size() &&
           CompareNoCase(text.substr(text.size() - suffix.size()), suffix) == 0;
}

std::u16string_view FileNamePart(std::u16string_view name) {
    std::size_t slash = name.find_last_of(u"\\/");
    return slash == std::u16string_view::npos ? name : name.substr(slash + 1);
}

// A bare system module name, with or without ".dll", in any case.
std::optional<std::size_t> FindBuiltin(std::u16string_view name) {
    if (name.find_first_of(u"\\/:") != std::u16string_view::npos) return std::nullopt;
    if (EndsWithNoCase(name, u".dll")) name.remove_suffix(4);
    for (std::size_t i = 0; i < kBuiltins.size(); ++i)
        if (CompareNoCase(name, kBuiltins[i].name) == 0) return i;
    return std::nullopt;
}

// The file names to look for, in order, for the file part of a module name.
// Windows appends ".dll" to a name without extension and takes a trailing dot to
// mean "no extension"; a DLL name X.dll is first looked for as the shared library
// libX.so, then under the name itself.
std::vector<std::string> Candidates(std::u16string_view file) {
    std::u16string name(file);
    if (!name.empty() && name.back() == u'.') {
        while (!name.empty() && name.back() == u'.') name.pop_back();
        if (name.empty()) return {};
        return {Narrow(name)};
    }
    if (name.find(u'.') == std::u16string::npos) name += u".dll";
    std::vector<std::string> names;
    if (EndsWithNoCase(name, u".dll") && name.size() > 4)
        names.push_back("lib" + Narrow(std::u16string_view(name).substr(0, name.size() - 4)) + ".so");
    names.push_back(Narrow(name));
    return names;
}

bool MatchesCandidate(const std::string& fileName, const std::vector<std::string>& candidates) {
    for (const std::string& candidate : candidates)
        if (CompareNoCase(Widen(fileName), Widen(candidate)) == 0) return true;
    return false;
}

// A file of `folder` whose name is `name` without case, as Windows names compare.
std::optional<fs::path> FindInFolder(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    fs::path exact = folder / name;
    if (fs::is_regular_file(exact, ec)) return exact;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (CompareNoCase(Widen(entry.path().filename().string()), Widen(name)) == 0 &&
            fs::is_regular_file(entry.path(), ec))
            return entry.path();
    }
    return std::nullopt;
}

// The load address of the object that contains `address`, or null.
HMODULE BaseOf(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0) return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

HMODULE BaseOfLibrary(void* library) {
    link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return nullptr;
    if (HMODULE base = BaseOf(map->l_ld)) return base;
    return reinterpret_cast<HMODULE>(map->l_addr);
}

std::string PathOfLibrary(void* library) {
    link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr) return {};
    return map->l_name;
}

// Whether `module` is the load address of an object loaded in the process (the
// executable, a library it was linked with, or one loaded by other means).
bool IsLoadedBase(HMODULE module) {
    return module != nullptr && BaseOf(module) == module;
}

HMODULE ExecutableBase() {
    return BaseOf(reinterpret_cast<const void*>(getauxval(AT_PHDR)));
}

// Every object of the process with its load address and path, in load order.
struct LoadedObject {
    HMODULE base;
    std::string path;
};

std::vector<LoadedObject> LoadedObjects() {
    std::vector<LoadedObject> objects;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
                if (info->dlpi_phdr[i].p_type != PT_LOAD) continue;
                auto* first = reinterpret_cast<const void*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
                if (HMODULE base = BaseOf(first))
                    static_cast<std::vector<LoadedObject>*>(data)->push_back(
                        {base, info->dlpi_name ? info->dlpi_name : ""});
                break;
            }
            return 0;
        },
        &objects);
    return objects;
}

// The folder searched first for a bare module name: the service library's own, as
// its siblings are installed beside it; the executable's before it is loaded.
std::optional<fs::path> FirstSearchFolder() {
    for (const LoadedObject& object : LoadedObjects()) {
        fs::path path(object.path);
        if (path.filename() == "libHostlensService.so") return path.parent_path();
    }
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return std::nullopt;
    return exe.parent_path();
}

// The dynamic linker's reason, as the Windows loader's error code.
DWORD LoadError(const char* reason) {
    std::string text = reason ? reason : "";
    if (text.find("cannot open shared object file") != std::string::npos) return ERROR_MOD_NOT_FOUND;
    if (text.find("undefined symbol") != std::string::npos || text.find("symbol lookup") != std::string::npos)
        return ERROR_PROC_NOT_FOUND;
    return ERROR_BAD_EXE_FORMAT;
}

// A module opened by the dynamic linker, or why none was.
struct Opening {
    void* library = nullptr;
    DWORD error = ERROR_MOD_NOT_FOUND;
};

Opening OpenLibrary(const std::string& target) {
    // Windows resolves every import when it loads a module.
    if (void* library = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL)) return {library, ERROR_SUCCESS};
    return {nullptr, LoadError(dlerror())};
}

// Finds and opens the module that `name` names. A file that exists but cannot be
// loaded ends the search with the linker's reason, as Windows stops at the first
// file it finds; a name that the system search path does not know lets it go on.
Opening Resolve(std::u16string_view name) {
    std::u16string windowsPath;
    if (name.size() >= 2 && IsSeparator(name[0]) && !IsSeparator(name[1])) {
        windowsPath = u"C:" + std::u16string(name);  // the root of the current drive
        name = windowsPath;
    }
    std::u16string_view file = FileNamePart(name);
    if (file.empty()) return {};
    std::vector<std::string> candidates = Candidates(file);
    if (candidates.empty()) return {};

    if (file.size() == name.size() && name.find(u':') == std::u16string_view::npos) {
        // A bare name: the service's folder, then the system search path.
        if (auto folder = FirstSearchFolder()) {
            for (const std::string& candidate : candidates)
                if (auto path = FindInFolder(*folder, candidate)) return OpenLibrary(path->string());
        }
        for (const std::string& candidate : candidates) {
            Opening opened = OpenLibrary(candidate);
            if (opened.library || opened.error != ERROR_MOD_NOT_FOUND) return opened;
        }
        return {};
    }

    // A path: only an absolute path of a drive of the machine can name a module
    // here (there is no current directory to resolve a relative one against).
    std::u16string_view folderPart = name.substr(0, name.size() - file.size());
    if (folderPart.size() < 3 || folderPart[1] != u':' || !IsSeparator(folderPart[2])) return {};
    auto folder = detail::HostPath(folderPart);
    if (!folder) return {};
    for (const std::string& candidate : candidates)
        if (auto path = FindInFolder(*folder, candidate)) return OpenLibrary(path->string());
    return {};
}

HMODULE Load(std::string_view function, LPCWSTR fileName, HANDLE file, DWORD flags) {
    auto fault = detail::Fault(function);
    if (fileName != nullptr) {
        std::lock_guard lock(S().mutex);
        S().requests.push_back(Narrow(fileName));
    }
    if (fault) {
        SetLastError(*fault);
        return nullptr;
    }
    if (fileName == nullptr || file != nullptr || (flags & ~DWORD{LOAD_WITH_ALTERED_SEARCH_PATH}) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string_view name(fileName);

    if (auto builtin = FindBuiltin(name)) {
        std::lock_guard lock(S().mutex);
        ++S().builtinLoads[*builtin];
        detail::Opened(detail::Resource::Module);
        return BuiltinHandle(*builtin);
    }

    Opening opened = Resolve(name);
    if (opened.library == nullptr) {
        SetLastError(opened.error);
        return nullptr;
    }
    HMODULE module = BaseOfLibrary(opened.library);
    if (module == nullptr) {
        dlclose(opened.library);
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    bool refused;
    {
        std::lock_guard lock(S().mutex);
        refused = S().refusedAttach.count(module) != 0;
    }
    if (refused) {
        dlclose(opened.library);  // runs DllMain for process detach, as Windows does
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    void* extra = nullptr;
    {
        std::lock_guard lock(S().mutex);
        auto [it, inserted] = S().modules.try_emplace(module);
        if (inserted) {
            it->second.library = opened.library;
            it->second.path = PathOfLibrary(opened.library);
        } else {
            extra = opened.library;  // the table already holds a reference to this module
        }
        ++it->second.count;
        detail::Opened(detail::Resource::Module);
    }
    if (extra) dlclose(extra);
    return module;
}

// The dynamic linker's handle of this library, for the exports of the built-in modules.
struct Self {
    void* library = nullptr;
    HMODULE base = nullptr;
};

const Self& ThisLibrary() {
    static const Self self = [] {
        Self s;
        Dl_info info{};
        if (dladdr(static_cast<const void*>(&kBuiltins), &info) != 0) {
            s.base = static_cast<HMODULE>(info.dli_fbase);
            s.library = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
        }
        return s;
    }();
    return self;
}

// `name` among the exports of the object loaded at `module` only: dlsym also
// searches the object's dependencies, which GetProcAddress does not.
FARPROC FindExport(void* library, HMODULE module, const char* name) {
    dlerror();
    void* symbol = dlsym(library, name);
    if (symbol == nullptr || BaseOf(symbol) != module) return nullptr;
    return reinterpret_cast<FARPROC>(symbol);
}

}  // namespace

void EntryPointFailed(HMODULE instance) {
    std::lock_guard lock(S().mutex);
    S().refusedAttach.insert(instance);
}

void EntryPointDetached(HMODULE instance) {
    std::lock_guard lock(S().mutex);
    S().refusedAttach.erase(instance);
}

std::vector<std::string> ModuleLoadRequests() {
    std::lock_guard lock(S().mutex);
    return S().requests;
}

void HideSystemExport(std::string_view module, std::string_view function) {
    std::u16string name = Widen(module);
    if (EndsWithNoCase(name, u".dll")) name.resize(name.size() - 4);
    auto builtin = FindBuiltin(name);
    std::lock_guard lock(S().mutex);
    S().hidden.emplace(builtin ? std::u16string(kBuiltins[*builtin].name) : name, std::string(function));
}

}  // namespace hostlens::sim

using namespace hostlens::sim;

HOSTLENS_WIN32_API HMODULE WINAPI LoadLibraryW(LPCWSTR fileName) {
    return Load("LoadLibraryW", fileName, nullptr, 0);
}

HOSTLENS_WIN32_API HMODULE WINAPI LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags) {
    return Load("LoadLibraryExW", fileName, file, flags);
}

HOSTLENS_WIN32_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    if (auto fault = detail::Fault("GetProcAddress")) {
        SetLastError(*fault);
        return nullptr;
    }
    // Names below 0x10000 are ordinals; no module here exports by ordinal.
    if (reinterpret_cast<std::uintptr_t>(procName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (module == nullptr) module = ExecutableBase();  // as Wine's loader does

    FARPROC found = nullptr;
    if (auto builtin = BuiltinIndex(module)) {
        bool hidden;
        {
            std::lock_guard lock(S().mutex);
            hidden = S().hidden.count({kBuiltins[*builtin].name, procName}) != 0;
        }
        hidden = hidden || detail::IsExportOfLaterWindows(MachineFacts().os, procName);
        if (!hidden && ThisLibrary().library)
            found = FindExport(ThisLibrary().library, ThisLibrary().base, procName);
    } else {
        std::unique_lock lock(S().mutex);
        auto it = S().modules.find(module);
        if (it != S().modules.end()) {
            found = FindExport(it->second.library, module, procName);
        } else {
            lock.unlock();
            if (!IsLoadedBase(module)) {
                SetLastError(ERROR_INVALID_HANDLE);
                return nullptr;
            }
            // A module the process was linked with: look it up without loading anything.
            Dl_info info{};
            void* library = module == ExecutableBase()   ? dlopen(nullptr, RTLD_LAZY)
                            : dladdr(module, &info) != 0 ? dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD)
                                                         : nullptr;
            if (library) {
                found = FindExport(library, module, procName);
                dlclose(library);
            }
        }
    }
    if (found == nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
    return found;
}

HOSTLENS_WIN32_API BOOL WINAPI FreeLibrary(HMODULE module) {
    if (auto fault = detail::Fault("FreeLibrary")) {
        SetLastError(*fault);
        return FALSE;
    }
    if (auto builtin = BuiltinIndex(module)) {
        // System modules stay loaded for the life of the process; only the loads
        // that LoadLibrary counted are given back.
        std::lock_guard lock(S().mutex);
        if (S().builtinLoads[*builtin] > 0) {
            --S().builtinLoads[*builtin];
            detail::Closed(detail::Resource::Module);
        }
        return TRUE;
    }
    void* unload = nullptr;
    {
        std::lock_guard lock(S().mutex);
        auto it = S().modules.find(module);
        if (it != S().modules.end()) {
            if (--it->second.count == 0) {
                unload = it->second.library;
                S().modules.erase(it);
            }
            detail::Closed(detail::Resource::Module);
        } else if (!IsLoadedBase(module)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        // Otherwise a module the process was linked with: it is never unloaded.
    }
    if (unload) dlclose(unload);  // runs the module's DllMain for process detach
    return TRUE;
}

HOSTLENS_WIN32_API HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName) {
    if (auto fault = detail::Fault("GetModuleHandleW")) {
        SetLastError(*fault);
        return nullptr;
    }
    if (moduleName == nullptr) return ExecutableBase();
    std::u16string_view name(moduleName);
    if (auto builtin = FindBuiltin(name)) return BuiltinHandle(*builtin);

    // Matched by file name: the folder a module was loaded from does not matter.
    std::vector<std::string> candidates = Candidates(FileNamePart(name));
    if (!candidates.empty()) {
        {
            std::lock_guard lock(S().mutex);
            for (const auto& [module, loaded] : S().modules)
                if (MatchesCandidate(fs::path(loaded.path).filename().string(), candidates)) return module;
        }
        for (const LoadedObject& object : LoadedObjects())
            if (!object.path.empty() &&
                MatchesCandidate(fs::path(object.path).filename().string(), candidates))
                return object.base;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

HOSTLENS_WIN32_API BOOL WINAPI DisableThreadLibraryCalls(HMODULE module) {
    if (auto fault = detail::Fault("DisableThreadLibraryCalls")) {
        SetLastError(*fault);
        return FALSE;
    }
    // Threads never call into a module's entry point here, so there is nothing to
    // switch off; the module must still be one (its DllMain calls this while it is
    // being loaded, before LoadLibrary has returned its handle).
    if (BuiltinIndex(module) || IsLoadedBase(module)) return TRUE;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
}
