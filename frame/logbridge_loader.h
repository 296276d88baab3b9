// Brings the agent's logging library in: one shared CLoader for all
// CLogbridgeLoader objects, guarded by the loader lock.
#pragma once

#include "hostlens/Logbridge.h"

class CLogbridgeLoader {
public:
    // Makes sure Logbridge.dll is loaded from the agent's Utils folder (or by bare
    // name when the installation folder is unknown) and counts one more user.
    CLogbridgeLoader();
    // Counts one user less; the last one unloads the library.
    virtual ~CLogbridgeLoader();
    CLogbridgeLoader(const CLogbridgeLoader&) = delete;
    CLogbridgeLoader& operator=(const CLogbridgeLoader&) = delete;

    ILogbridge* GetLogger();
    // Hands `*logger` back to the logging library, which may clear it.
    void FreeLogger(ILogbridge** logger);
};
