// Linked into every module that has a DllMain: the loader of this platform runs
// static constructors and destructors when a shared library is loaded and unloaded,
// which is where Windows calls the DLL entry point.
#include <dlfcn.h>

#include "platform/posix/modules/entry_point.h"
#include "platform/win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

HINSTANCE ThisModule() {
    // A module handle is the module's load address, as on Windows.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&DllMain), &info) == 0) return nullptr;
    return static_cast<HINSTANCE>(info.dli_fbase);
}

// Priority 65535 runs after every prioritised constructor; the library keeps its
// module state constant-initialised, so nothing it needs is still unconstructed.
__attribute__((constructor(65535))) void ProcessAttach() {
    HINSTANCE instance = ThisModule();
    if (!DllMain(instance, DLL_PROCESS_ATTACH, nullptr)) hostlens::sim::EntryPointFailed(instance);
}

// Also after a refused attach, as Windows calls it before it unloads the module.
__attribute__((destructor(65535))) void ProcessDetach() {
    HINSTANCE instance = ThisModule();
    DllMain(instance, DLL_PROCESS_DETACH, nullptr);
    hostlens::sim::EntryPointDetached(instance);
}

}  // namespace
