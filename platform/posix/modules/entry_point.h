// What the entry-point glue of a module (dll_entry.cpp) tells the loader: the dynamic
// linker runs a module's DllMain inside dlopen and dlclose, where the loader cannot
// see what it returned.
#pragma once

#include "platform/posix/win32_types.h"

namespace hostlens::sim {

// The module at `instance` returned FALSE for DLL_PROCESS_ATTACH: the LoadLibrary
// that is loading it fails with ERROR_DLL_INIT_FAILED and unloads it again.
void EntryPointFailed(HMODULE instance);

// The module at `instance` has run DllMain for DLL_PROCESS_DETACH and is unloading.
void EntryPointDetached(HMODULE instance);

}  // namespace hostlens::sim
