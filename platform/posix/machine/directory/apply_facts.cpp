// machine.json's facts onto the machine's.
#include "platform/posix/machine/directory/apply.h"

namespace hostlens::sim::machinedir {
namespace {

// Windows makes the NetBIOS name from the DNS host name: upper case, at most 15
// characters.
std::u16string NetbiosFrom(std::u16string_view hostname) {
    std::u16string name(hostname.substr(0, 15));
    for (char16_t& c : name)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return name;
}

std::u16string Qualified(const std::u16string& host, const std::u16string& domain) {
    return domain.empty() ? host : host + u'.' + domain;
}

void ApplyComputerNames(const ComputerNames& given, ComputerNameFacts& names) {
    if (given.dnsHostname)
        names.dnsHostname = *given.dnsHostname;
    else if (given.netbios)
        names.dnsHostname = *given.netbios;
    names.netbios = given.netbios.value_or(NetbiosFrom(names.dnsHostname));
    names.dnsDomain = given.dnsDomain.value_or(names.dnsDomain);
    names.dnsFullyQualified = given.dnsFullyQualified.value_or(Qualified(names.dnsHostname, names.dnsDomain));
    names.physicalNetbios = given.physicalNetbios.value_or(names.netbios);
    names.physicalDnsHostname = given.physicalDnsHostname.value_or(names.dnsHostname);
    names.physicalDnsDomain = given.physicalDnsDomain.value_or(names.dnsDomain);
    names.physicalDnsFullyQualified = given.physicalDnsFullyQualified.value_or(
        given.physicalDnsHostname || given.physicalDnsDomain
            ? Qualified(names.physicalDnsHostname, names.physicalDnsDomain)
            : names.dnsFullyQualified);
}

void ApplyOs(const machinedir::OsFacts& given, sim::OsFacts& os) {
    os.platformId = given.platformId.value_or(os.platformId);
    os.major = given.major.value_or(os.major);
    os.minor = given.minor.value_or(os.minor);
    os.build = given.build.value_or(os.build);
    os.servicePackMajor = given.servicePackMajor.value_or(os.servicePackMajor);
    os.servicePackMinor = given.servicePackMinor.value_or(os.servicePackMinor);
    os.productType = given.productType.value_or(os.productType);
    os.suiteMask = given.suiteMask.value_or(os.suiteMask);
    os.productInfo = given.productInfo.value_or(os.productInfo);
    os.csdVersion = given.csdVersion.value_or(os.csdVersion);
}

void ApplyPower(const PowerStatus& given, SYSTEM_POWER_STATUS& power) {
    power.ACLineStatus = given.acLineStatus.value_or(power.ACLineStatus);
    power.BatteryFlag = given.batteryFlag.value_or(power.BatteryFlag);
    power.BatteryLifePercent = given.batteryLifePercent.value_or(power.BatteryLifePercent);
    power.SystemStatusFlag = given.systemStatusFlag.value_or(power.SystemStatusFlag);
    power.BatteryLifeTime = given.batteryLifeTime.value_or(power.BatteryLifeTime);
    power.BatteryFullLifeTime = given.batteryFullLifeTime.value_or(power.BatteryFullLifeTime);
}

Processor ProcessorOf(Architecture architecture) {
    switch (architecture) {
        case Architecture::X86:
            return Processor::X86;
        case Architecture::X64:
            return Processor::X64;
        case Architecture::Arm64:
            return Processor::Arm64;
        case Architecture::Ia64:
            return Processor::Ia64;
        case Architecture::Arm:
            return Processor::Arm;
    }
    return Processor::X64;
}

void ApplyArchitecture(const ArchitectureFacts& given, Facts& facts) {
    auto is32Bit = [](Architecture architecture) {
        return architecture == Architecture::X86 || architecture == Architecture::Arm;
    };
    if (given.native) {
        facts.native64 = !is32Bit(*given.native);
        (facts.native64 ? facts.native64Processor : facts.native32Processor) = ProcessorOf(*given.native);
    }
    if (given.process) {
        facts.process64 = !is32Bit(*given.process);
        if (facts.process64) facts.process64Processor = ProcessorOf(*given.process);
    }
    facts.x64Emulation = given.x64Emulation.value_or(facts.x64Emulation);
}

}  // namespace

void ApplyFacts(const MachineDescription& description, Facts& facts) {
    if (description.os) ApplyOs(*description.os, facts.os);
    if (description.architecture) ApplyArchitecture(*description.architecture, facts);
    for (const auto& [index, value] : description.systemMetrics) facts.os.systemMetrics[index] = value;
    if (description.ansiCodePage) facts.ansiCodePage = *description.ansiCodePage;
    if (description.computerNames) ApplyComputerNames(*description.computerNames, facts.os.computerNames);
    if (description.clock) facts.clock = *description.clock;
    if (description.tickCount) facts.tickCount = *description.tickCount;
    if (description.timeZoneBias) facts.timeZoneBias = *description.timeZoneBias;
    if (description.power) ApplyPower(*description.power, facts.powerStatus);
    if (description.windowsDirectory) facts.windowsDirectory = *description.windowsDirectory;
}

}  // namespace hostlens::sim::machinedir
