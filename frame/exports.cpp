// The twenty exports: GetI<Name> hands out a service object, FreeI<Name> takes it
// back. Nine services are shared, reference-counted singletons; every GetIWmiMng
// makes a new manager. Every Get and Free runs entirely under the module mutex.
#include <exception>
#include <map>
#include <new>

#include "directory/active_directory.h"
#include "exchange/exchange.h"
#include "frame/battery.h"
#include "frame/module.h"
#include "frame/trace.h"
#include "hardware/hardware.h"
#include "hostlens/Exports.h"
#include "location/location_info.h"
#include "software/software.h"
#include "system/proxy_info.h"
#include "system/system.h"
#include "updates/automatic_updates.h"
#include "wmi/wmi_mng.h"

HL_TRACE_MODULE("frame/exports")

namespace {

using hostlens::ScopedLock;
using hostlens::module::DeinitModule;
using hostlens::module::g_moduleMutex;
using hostlens::module::InitModule;
using hostlens::module::Logger;

// One shared service: its object, and whether InitModule counted it as a logger user.
template <class Class>
struct Singleton {
    Class* object = nullptr;
    bool counted = false;
};

// Services that hold the module logger take part in InitModule; the software and
// proxy services carry no logger and never load the logging library.
template <class Class>
constexpr bool kUsesLogger = std::is_constructible_v<Class, ILogbridge*>;

template <class Class>
Class* Create() {
    try {
        if constexpr (kUsesLogger<Class>) {
            return new (std::nothrow) Class(Logger());
        } else {
            return new (std::nothrow) Class();
        }
    } catch (const std::exception&) {
        return nullptr;
    }
}

template <class Interface, class Class>
Interface* GetShared(Singleton<Class>& singleton) {
    ScopedLock lock(g_moduleMutex);
    if (singleton.object != nullptr) {
        static_cast<IRefCounter*>(singleton.object)->AddRef();
        return singleton.object;
    }
    bool counted = kUsesLogger<Class> ? InitModule() : false;
    singleton.object = Create<Class>();
    if (singleton.object == nullptr) {
        TRACE_ERROR();
        // No object came of it: it must not keep the logger alive.
        DeinitModule(counted);
        return nullptr;
    }
    singleton.counted = counted;
    return singleton.object;
}

template <class Interface, class Class>
void FreeShared(Singleton<Class>& singleton, Interface** object) {
    if (object == nullptr || *object == nullptr) {
        TRACE_ERROR();
        return;
    }
    ScopedLock lock(g_moduleMutex);
    // A stale pointer, one of another interface or a second Free is not ours to release.
    if (singleton.object == nullptr || *object != static_cast<Interface*>(singleton.object)) {
        TRACE_WARNING();
        return;
    }
    if (static_cast<IRefCounter*>(singleton.object)->Release() == 0) {
        singleton.object = nullptr;
        if (kUsesLogger<Class>) DeinitModule(singleton.counted);
        singleton.counted = false;
    }
    *object = nullptr;
}

Singleton<CProxyInfo> g_proxyInfo;
Singleton<Hostlens::CLocationInfo> g_location;
Singleton<CBattery> g_battery;
Singleton<CSoftware> g_software;
Singleton<CHardware> g_hardware;
Singleton<CActiveDirectory> g_activeDirectory;
Singleton<CExchange> g_exchange;
Singleton<CSystem> g_system;
Singleton<Hostlens::CAutomaticUpdates> g_automaticUpdates;

// The managers handed out by GetIWmiMng and not yet freed, with whether each was
// counted as a logger user. A pointer that is not here is not released.
std::map<IWmiMng*, bool>& WmiManagers() {
    static std::map<IWmiMng*, bool> managers;
    return managers;
}

}  // namespace

extern "C" {

IWmiMng* WINAPI GetIWmiMng() {
    ScopedLock lock(g_moduleMutex);
    bool counted = InitModule();
    try {
        auto* manager = new CWmiMng(Logger());
        try {
            WmiManagers().emplace(manager, counted);
        } catch (...) {
            static_cast<IRefCounter*>(manager)->Release();
            throw;
        }
        return manager;
    } catch (...) {
        TRACE_CRITICAL();
        DeinitModule(counted);
        return nullptr;
    }
}

void WINAPI FreeIWmiMng(IWmiMng** object) {
    if (object == nullptr || *object == nullptr) {
        TRACE_ERROR();
        return;
    }
    ScopedLock lock(g_moduleMutex);
    try {
        auto it = WmiManagers().find(*object);
        if (it == WmiManagers().end()) {
            TRACE_ERROR();
            return;
        }
        bool counted = it->second;
        WmiManagers().erase(it);
        static_cast<IRefCounter*>(static_cast<CWmiMng*>(*object))->Release();
        *object = nullptr;
        DeinitModule(counted);
    } catch (...) {
        TRACE_CRITICAL();
    }
}

#define HOSTLENS_SHARED_EXPORTS(Interface, Name, singleton)                                 \
    Interface* WINAPI GetI##Name() { return GetShared<Interface>(singleton); }           \
    void WINAPI FreeI##Name(Interface** object) { FreeShared<Interface>(singleton, object); }

HOSTLENS_SHARED_EXPORTS(IProxyInfo, ProxyInfo, g_proxyInfo)
HOSTLENS_SHARED_EXPORTS(Hostlens::ILocation, Location, g_location)
HOSTLENS_SHARED_EXPORTS(IBattery, Battery, g_battery)
HOSTLENS_SHARED_EXPORTS(ISoftware, Software, g_software)
HOSTLENS_SHARED_EXPORTS(IHardware, Hardware, g_hardware)
HOSTLENS_SHARED_EXPORTS(IActiveDirectory, ActiveDirectory, g_activeDirectory)
HOSTLENS_SHARED_EXPORTS(IExchange, Exchange, g_exchange)
HOSTLENS_SHARED_EXPORTS(ISystem, System, g_system)
HOSTLENS_SHARED_EXPORTS(Hostlens::IAutomaticUpdates, AutomaticUpdates, g_automaticUpdates)

#undef HOSTLENS_SHARED_EXPORTS

}  // extern "C"
