// The records of the services as JSON: one member per record field, named exactly as
// the field; an optional value is its value, or null when its present/valid flag is
// false (the flags themselves are not printed); a SYSTEMTIME is an ISO 8601 UTC text,
// or null when it is all zero; wide strings are UTF-8.
#pragma once

#include <nlohmann/json.hpp>

#include "hostlens/Exports.h"
#include "os/operating_system.h"

namespace hostlens::cli {
// Members keep the order of the record's fields.
using Json = nlohmann::ordered_json;
}  // namespace hostlens::cli

// Found by argument-dependent lookup, so each lives in the namespace of its record.
void to_json(hostlens::cli::Json& json, const SYSTEMTIME& time);
void to_json(hostlens::cli::Json& json, const SYSTEM_POWER_STATUS& status);
void to_json(hostlens::cli::Json& json, const ProcessorInfo& processor);
void to_json(hostlens::cli::Json& json, const MemoryModuleInfo& module);
void to_json(hostlens::cli::Json& json, const DiskDriveInfo& drive);
void to_json(hostlens::cli::Json& json, const CDROMDriveInfo& drive);
void to_json(hostlens::cli::Json& json, const BaseBoardInfo& board);
void to_json(hostlens::cli::Json& json, const BIOSInfo& bios);
void to_json(hostlens::cli::Json& json, const SoundDeviceInfo& device);
void to_json(hostlens::cli::Json& json, const BatteryInfo& battery);
void to_json(hostlens::cli::Json& json, const MonitorInfo& monitor);
void to_json(hostlens::cli::Json& json, const VideoControllerInfo& controller);
void to_json(hostlens::cli::Json& json, const TpmInfo& tpm);
void to_json(hostlens::cli::Json& json, const NetworkAdapter& adapter);
void to_json(hostlens::cli::Json& json, const HardwareInfo& info);
void to_json(hostlens::cli::Json& json, const SoftwareEntry& entry);
void to_json(hostlens::cli::Json& json, const ProxySettings& settings);
void to_json(hostlens::cli::Json& json, const ActiveDirectoryInfo& info);
void to_json(hostlens::cli::Json& json, const ExchangeInfo& info);
void to_json(hostlens::cli::Json& json, const OperatingSystemRecord& record);

namespace Hostlens {
void to_json(hostlens::cli::Json& json, const LocationInfo& info);
}  // namespace Hostlens
