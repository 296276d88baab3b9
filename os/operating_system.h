// The operating system the library runs on: one record of version, edition,
// architecture and server level, shared by the whole process and computed once while
// any COperatingSystem lives. The software, process and Exchange code construct a
// COperatingSystem and read the record through it; the agent never sees it.
#pragma once

#include "platform/win32.h"

// What callers receive: the first fifteen fields. The private ones are the fill's
// own and exist only in the shared record: a copy carries the public fields alone.
class OperatingSystemRecord {
public:
    OperatingSystemRecord() = default;
    OperatingSystemRecord(const OperatingSystemRecord& other) { CopyPublic(other); }
    OperatingSystemRecord& operator=(const OperatingSystemRecord& other) {
        if (this != &other) CopyPublic(other);
        return *this;
    }

    DWORD VersionCode = 0;   // 1 XP ... 15 Server 2022, 1000 above 10.0; 0 not determined
    DWORD EditionCode = 0;   // 0 not determined
    DWORD Architecture = 0;  // 1 x86, 2 x64 or Itanium, 3 ARM64; 0 not determined
    DWORD IsWindows = 0;     // 1 once the NT platform test passed
    bool IsServer = false;
    bool IsPersonal = false;     // workstations only
    bool IsStarter = false;      // workstations only
    bool IsMediaCenter = false;  // workstations only
    bool IsTabletPC = false;     // workstations only
    bool IsServerCore = false;   // servers only
    WORD ServicePackMajor = 0;
    WORD ReleaseId = 0;
    WString DisplayVersion;
    WString ProductName;  // "Windows 11 ..." where the registry still says "Windows 10"
    WString FullName;     // product name, architecture and version or service pack

private:
    friend class CWindowsOperatingSystem;

    void CopyPublic(const OperatingSystemRecord& other) {
        VersionCode = other.VersionCode;
        EditionCode = other.EditionCode;
        Architecture = other.Architecture;
        IsWindows = other.IsWindows;
        IsServer = other.IsServer;
        IsPersonal = other.IsPersonal;
        IsStarter = other.IsStarter;
        IsMediaCenter = other.IsMediaCenter;
        IsTabletPC = other.IsTabletPC;
        IsServerCore = other.IsServerCore;
        ServicePackMajor = other.ServicePackMajor;
        ReleaseId = other.ReleaseId;
        DisplayVersion = other.DisplayVersion;
        ProductName = other.ProductName;
        FullName = other.FullName;
    }

    DWORD ProcessorArchitecture = 0;  // 1 x86, 2 x64, 3 Itanium, 4 ARM64; 0 anything else
    DWORD MajorVersion = 0;
    DWORD MinorVersion = 0;
    DWORD BuildNumber = 0;  // the registry's "CurrentBuildNumber"
    DWORD UBR = 0;
    DWORD ProductType = 0;  // what GetProductInfo returns
    bool ServerGuiShell = false;
    bool ServerGuiMgmt = false;
    bool ServerCoreLevel = false;
    bool NanoServerLevel = false;
};

class IOperatingSystem {
public:
    virtual ~IOperatingSystem() = default;
    virtual void GetOperatingSystemRecord(OperatingSystemRecord& info) = 0;
};

// Asks Windows: version tests, the registry's CurrentVersion key, GetProductInfo.
class CWindowsOperatingSystem : public IOperatingSystem {
public:
    void GetOperatingSystemRecord(OperatingSystemRecord& info) override;
};

// The other platforms' records: nothing to ask on this one, the record stays as given.
class CLinuxOperatingSystem : public IOperatingSystem {
public:
    void GetOperatingSystemRecord(OperatingSystemRecord& info) override {}
};

class CMacOperatingSystem : public IOperatingSystem {
public:
    void GetOperatingSystemRecord(OperatingSystemRecord& info) override {}
};

// Holds the shared record while it lives. The first of a live period fills it under
// the record's own mutex (a second thread constructing meanwhile waits for it); the
// last one frees it, so the next construction reads everything afresh. The record
// does not change while any object lives, so reading it takes no lock. A fill that
// throws leaves no record and the count as it was, and the exception reaches the
// caller.
class COperatingSystem : public CWindowsOperatingSystem,
                         public CLinuxOperatingSystem,
                         public CMacOperatingSystem {
public:
    COperatingSystem();
    ~COperatingSystem() override;
    COperatingSystem(const COperatingSystem&) = delete;
    COperatingSystem& operator=(const COperatingSystem&) = delete;

    using CWindowsOperatingSystem::GetOperatingSystemRecord;

    // The shared record, to read single fields from while this object lives.
    const OperatingSystemRecord& SharedRecord() const;
    // Its fifteen public fields.
    OperatingSystemRecord CopyRecord() const { return SharedRecord(); }
};
