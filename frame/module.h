// Module-wide start and stop of the logger, shared by the exported factories.
#pragma once

#include "frame/lock.h"
#include "hostlens/Logbridge.h"

namespace hostlens::module {

// Held by every exported Get and Free for its whole run.
extern Mutex g_moduleMutex;

// Loads the logging library on first use and obtains the logger; counts one more
// live user when a logger is set. Returns whether this user was counted, which the
// matching Deinit must be told. Called under g_moduleMutex.
bool InitModule();
// Counts a counted user out; the last one frees the logger and unloads the library.
void DeinitModule(bool counted);

ILogbridge* Logger();
DWORD LiveUsers();

}  // namespace hostlens::module
