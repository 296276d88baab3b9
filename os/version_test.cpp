#include "os/version_test.h"

namespace hostlens::os {

VersionTest::VersionTest() : info_{} {
    info_.dwOSVersionInfoSize = sizeof info_;
}

void VersionTest::Add(DWORD field, BYTE condition) {
    typeMask_ |= field;
    conditions_ = VerSetConditionMask(conditions_, field, condition);
}

VersionTest& VersionTest::Platform(DWORD platformId, BYTE condition) {
    info_.dwPlatformId = platformId;
    Add(VER_PLATFORMID, condition);
    return *this;
}

VersionTest& VersionTest::Major(DWORD major, BYTE condition) {
    info_.dwMajorVersion = major;
    Add(VER_MAJORVERSION, condition);
    return *this;
}

VersionTest& VersionTest::Minor(DWORD minor, BYTE condition) {
    info_.dwMinorVersion = minor;
    Add(VER_MINORVERSION, condition);
    return *this;
}

VersionTest& VersionTest::ServicePackMajor(WORD servicePackMajor, BYTE condition) {
    info_.wServicePackMajor = servicePackMajor;
    Add(VER_SERVICEPACKMAJOR, condition);
    return *this;
}

VersionTest& VersionTest::ServicePackMinor(WORD servicePackMinor, BYTE condition) {
    info_.wServicePackMinor = servicePackMinor;
    Add(VER_SERVICEPACKMINOR, condition);
    return *this;
}

VersionTest& VersionTest::Suite(WORD suiteMask, BYTE condition) {
    info_.wSuiteMask = suiteMask;
    Add(VER_SUITENAME, condition);
    return *this;
}

VersionTest& VersionTest::ProductType(BYTE productType, BYTE condition) {
    info_.wProductType = productType;
    Add(VER_PRODUCT_TYPE, condition);
    return *this;
}

bool VersionTest::Passes() {
    return VerifyVersionInfoW(&info_, typeMask_, conditions_) != FALSE;
}

bool IsVersion(DWORD major, DWORD minor) {
    return VersionTest().Major(major, VER_EQUAL).Minor(minor, VER_EQUAL).Passes();
}

bool HasSuite(WORD suiteMask) {
    return VersionTest().Suite(suiteMask, VER_AND).Passes();
}

}  // namespace hostlens::os
