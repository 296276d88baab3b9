#include "os/operating_system.h"

#include "frame/lock.h"

namespace {

// The shared record and the count of live objects, guarded by their own mutex (never
// the factories' module mutex).
hostlens::Mutex g_mutex;
OperatingSystemRecord* g_record = nullptr;
DWORD g_liveObjects = 0;

}  // namespace

COperatingSystem::COperatingSystem() {
    hostlens::ScopedLock lock(g_mutex);
    ++g_liveObjects;
    if (g_record != nullptr) return;
    try {
        g_record = new OperatingSystemRecord();
        CWindowsOperatingSystem::GetOperatingSystemRecord(*g_record);
    } catch (...) {
        // This object does not come to life: no record, and the count as it was.
        delete g_record;
        g_record = nullptr;
        --g_liveObjects;
        throw;
    }
}

COperatingSystem::~COperatingSystem() {
    hostlens::ScopedLock lock(g_mutex);
    if (--g_liveObjects == 0) {
        delete g_record;
        g_record = nullptr;
    }
}

const OperatingSystemRecord& COperatingSystem::SharedRecord() const {
    // Set by this object's construction, and kept while it lives.
    return *g_record;
}
