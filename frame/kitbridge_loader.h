// The agent's configuration library (Kitbridge.dll), loaded once per process on first
// use and kept until the process ends.
#pragma once

#include "frame/loader.h"
#include "hostlens/Kit.h"

class CKitbridgeLoader {
public:
    CKitbridgeLoader();
    virtual ~CKitbridgeLoader();
    CKitbridgeLoader(const CKitbridgeLoader&) = delete;
    CKitbridgeLoader& operator=(const CKitbridgeLoader&) = delete;

    CLoader& Loader() { return loader_; }

private:
    CLoader loader_;
};

// The configuration interface, or null. Not thread-safe: the one loader is created
// unguarded on first use.
IKit* AcquireKit();
// Hands `*kit` back to the library; nothing when kit or *kit is null. The caller
// makes sure the loader exists (KitbridgeLoaderExists).
void ReleaseKit(IKit** kit);
bool KitbridgeLoaderExists();
// Drops the process's loader (tests start each case from a process without one).
void DestroyKitbridgeLoader();
