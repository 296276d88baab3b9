#pragma once

#include "platform/win32.h"

namespace Hostlens {

struct LocationInfo {
    double Latitude = 0;
    bool LatitudeValid = false;
    double Longitude = 0;
    bool LongitudeValid = false;
    double ErrorRadius = 0;
    bool ErrorRadiusValid = false;
    double Altitude = 0;
    bool AltitudeValid = false;
    double AltitudeError = 0;
    bool AltitudeErrorValid = false;
    WString CountryRegion;
    bool CountryRegionValid = false;
    WString StateProvince;
    bool StateProvinceValid = false;
    WString City;
    bool CityValid = false;
    WString PostalCode;
    bool PostalCodeValid = false;
    WString AddressLine1;
    bool AddressLine1Valid = false;
    WString AddressLine2;
    bool AddressLine2Valid = false;
};

class ILocation {
public:
    virtual ~ILocation() = default;
    // 0 when a coordinate was read, ERROR_NO_DATA (232) when none, 0x8004E025 without COM.
    virtual DWORD GetLocation(LocationInfo& info) = 0;
};

}  // namespace Hostlens
