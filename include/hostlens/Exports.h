// The twenty exports of HostlensService, bound by name. A Get hands out an
// interface pointer (or null); the matching Free takes the address of the caller's
// pointer and clears it when the object was accepted.
#pragma once

#include "hostlens/ActiveDirectory.h"
#include "hostlens/AutomaticUpdates.h"
#include "hostlens/Battery.h"
#include "hostlens/Exchange.h"
#include "hostlens/Hardware.h"
#include "hostlens/Location.h"
#include "hostlens/ProxyInfo.h"
#include "hostlens/Software.h"
#include "hostlens/System.h"
#include "hostlens/WmiMng.h"

#define HOSTLENS_EXPORT_PAIR(Interface, Name)                 \
    HOSTLENS_DLL_EXPORT Interface* WINAPI GetI##Name();       \
    HOSTLENS_DLL_EXPORT void WINAPI FreeI##Name(Interface** object); \
    using GetI##Name##Fn = Interface*(WINAPI*)();             \
    using FreeI##Name##Fn = void(WINAPI*)(Interface** object);

extern "C" {
HOSTLENS_EXPORT_PAIR(IWmiMng, WmiMng)
HOSTLENS_EXPORT_PAIR(IProxyInfo, ProxyInfo)
HOSTLENS_EXPORT_PAIR(Hostlens::ILocation, Location)
HOSTLENS_EXPORT_PAIR(IBattery, Battery)
HOSTLENS_EXPORT_PAIR(ISoftware, Software)
HOSTLENS_EXPORT_PAIR(IHardware, Hardware)
HOSTLENS_EXPORT_PAIR(IActiveDirectory, ActiveDirectory)
HOSTLENS_EXPORT_PAIR(IExchange, Exchange)
HOSTLENS_EXPORT_PAIR(ISystem, System)
HOSTLENS_EXPORT_PAIR(Hostlens::IAutomaticUpdates, AutomaticUpdates)
}

#undef HOSTLENS_EXPORT_PAIR
