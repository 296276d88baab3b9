// One VerifyVersionInfoW test: an OSVERSIONINFOEXW that is zero but for its size and
// the fields tested, and a condition mask built with one VerSetConditionMask call
// per field.
#pragma once

#include "platform/win32.h"

namespace hostlens::os {

class VersionTest {
public:
    VersionTest();

    VersionTest& Platform(DWORD platformId, BYTE condition);
    VersionTest& Major(DWORD major, BYTE condition);
    VersionTest& Minor(DWORD minor, BYTE condition);
    VersionTest& ServicePackMajor(WORD servicePackMajor, BYTE condition);
    VersionTest& ServicePackMinor(WORD servicePackMinor, BYTE condition);
    VersionTest& Suite(WORD suiteMask, BYTE condition);
    VersionTest& ProductType(BYTE productType, BYTE condition);

    // Whether the machine passes; a test that cannot be made does not pass.
    bool Passes();

private:
    void Add(DWORD field, BYTE condition);

    OSVERSIONINFOEXW info_;
    DWORD typeMask_ = 0;
    DWORDLONG conditions_ = 0;
};

// major.minor, both VER_EQUAL.
bool IsVersion(DWORD major, DWORD minor);
// The suite bits all present (VER_AND).
bool HasSuite(WORD suiteMask);

}  // namespace hostlens::os
