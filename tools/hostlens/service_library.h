// HostlensService loaded at run time and its twenty exports bound by name, as the
// agent does. The library is found by name through the platform, so it resolves as it
// does for the agent (on Linux the layer maps HostlensService.dll to
// libHostlensService.so beside the program).
#pragma once

#include <memory>
#include <string>

#include "hostlens/Exports.h"
#include "platform/win32.h"

namespace hostlens::cli {

struct ServiceExports {
    GetIWmiMngFn GetIWmiMng = nullptr;
    FreeIWmiMngFn FreeIWmiMng = nullptr;
    GetIProxyInfoFn GetIProxyInfo = nullptr;
    FreeIProxyInfoFn FreeIProxyInfo = nullptr;
    GetILocationFn GetILocation = nullptr;
    FreeILocationFn FreeILocation = nullptr;
    GetIBatteryFn GetIBattery = nullptr;
    FreeIBatteryFn FreeIBattery = nullptr;
    GetISoftwareFn GetISoftware = nullptr;
    FreeISoftwareFn FreeISoftware = nullptr;
    GetIHardwareFn GetIHardware = nullptr;
    FreeIHardwareFn FreeIHardware = nullptr;
    GetIActiveDirectoryFn GetIActiveDirectory = nullptr;
    FreeIActiveDirectoryFn FreeIActiveDirectory = nullptr;
    GetIExchangeFn GetIExchange = nullptr;
    FreeIExchangeFn FreeIExchange = nullptr;
    GetISystemFn GetISystem = nullptr;
    FreeISystemFn FreeISystem = nullptr;
    GetIAutomaticUpdatesFn GetIAutomaticUpdates = nullptr;
    FreeIAutomaticUpdatesFn FreeIAutomaticUpdates = nullptr;
};

class ServiceLibrary {
public:
    static constexpr const char* kName = "HostlensService.dll";

    // Loads the library and binds every export. On failure returns null and sets
    // `error` to a message that names the library or the missing export and the
    // platform's error code, by name.
    static std::unique_ptr<ServiceLibrary> Load(std::string& error);

    ~ServiceLibrary();
    ServiceLibrary(const ServiceLibrary&) = delete;
    ServiceLibrary& operator=(const ServiceLibrary&) = delete;

    const ServiceExports& Exports() const { return exports_; }

private:
    explicit ServiceLibrary(HMODULE module) : module_(module) {}
    bool Bind(std::string& error);

    HMODULE module_;
    ServiceExports exports_;
};

}  // namespace hostlens::cli
