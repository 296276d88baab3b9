#include "platform/posix/machine/directory/machine_json.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/posix/machine/directory/json_text.h"

namespace hostlens::sim::machinedir {
namespace {

using json::Errors;
using json::Value;

// The schema: each object of machine.json is a table of members, each member a name
// and how to read it into the description. Adding a fact is adding a row.
template <class S>
struct Member {
    std::string_view name;
    std::function<bool(const Value&, const std::string& pointer, Errors&, S&)> read;
};

template <class S>
using Table = std::vector<Member<S>>;

template <class S>
bool ReadObject(const Value& value, const std::string& pointer, Errors& errors, const Table<S>& table,
                S& out) {
    if (!value.is_object()) return errors.Expected(pointer, "an object", value);
    for (const auto& item : value.items()) {
        // Plain references, not structured bindings: clang 14 cannot capture those in a lambda.
        const std::string& name = item.key();
        const Value& member = item.value();
        std::string child = json::Child(pointer, name);
        auto row =
            std::find_if(table.begin(), table.end(), [&](const Member<S>& m) { return m.name == name; });
        if (row == table.end()) return errors.Fail(child, "unknown member");
        if (!row->read(member, child, errors, out)) return false;
    }
    return true;
}

template <class S, class T>
Member<S> Int(std::string_view name, std::optional<T> S::*field, T min = std::numeric_limits<T>::min(),
              T max = std::numeric_limits<T>::max()) {
    return {name, [=](const Value& v, const std::string& p, Errors& e, S& s) {
                T x{};
                if (!json::Integer(v, p, e, x, min, max)) return false;
                s.*field = x;
                return true;
            }};
}

// A byte that is either within [min, max] or one of the "unknown" markers Windows uses.
template <class S>
Member<S> Byte(std::string_view name, std::optional<std::uint8_t> S::*field, std::uint8_t min,
               std::uint8_t max, std::string_view what) {
    return {name, [=](const Value& v, const std::string& p, Errors& e, S& s) {
                std::uint8_t x = 0;
                if (!json::Integer<std::uint8_t>(v, p, e, x)) return false;
                if ((x < min || x > max) && x != 255)
                    return e.Fail(p, "expected " + std::string(what) + ", got " + json::KindOf(v));
                s.*field = x;
                return true;
            }};
}

template <class S>
Member<S> Text(std::string_view name, std::optional<std::u16string> S::*field, std::size_t maxLength) {
    return {name, [=](const Value& v, const std::string& p, Errors& e, S& s) {
                if (!v.is_string()) return e.Expected(p, "a string", v);
                std::u16string text = json::Utf16(v.get_ref<const std::string&>());
                if (text.size() > maxLength)
                    return e.Fail(p, "longer than " + std::to_string(maxLength) + " characters");
                s.*field = std::move(text);
                return true;
            }};
}

template <class S>
Member<S> Arch(std::string_view name, std::optional<Architecture> S::*field) {
    return {name, [=](const Value& v, const std::string& p, Errors& e, S& s) {
                constexpr std::string_view kExpected = "\"x86\", \"x64\", \"arm64\", \"ia64\" or \"arm\"";
                if (!v.is_string()) return e.Expected(p, kExpected, v);
                const std::string& text = v.get_ref<const std::string&>();
                if (text == "x86") {
                    s.*field = Architecture::X86;
                } else if (text == "x64") {
                    s.*field = Architecture::X64;
                } else if (text == "arm64") {
                    s.*field = Architecture::Arm64;
                } else if (text == "ia64") {
                    s.*field = Architecture::Ia64;
                } else if (text == "arm") {
                    s.*field = Architecture::Arm;
                } else {
                    return e.Expected(p, kExpected, v);
                }
                return true;
            }};
}

template <class S>
Member<S> Flag(std::string_view name, std::optional<bool> S::*field) {
    return {name, [=](const Value& v, const std::string& p, Errors& e, S& s) {
                if (!v.is_boolean()) return e.Expected(p, "true or false", v);
                s.*field = v.get<bool>();
                return true;
            }};
}

template <class S>
Member<S> Time(std::string_view name, std::optional<FileTimeTicks> S::*field) {
    return {name, [=](const Value& v, const std::string& p, Errors& e, S& s) {
                auto ticks = v.is_string() ? ParseIso8601(v.get_ref<const std::string&>()) : std::nullopt;
                if (!ticks) return e.Expected(p, "an ISO 8601 time such as \"2024-01-31T12:00:00Z\"", v);
                s.*field = ticks;
                return true;
            }};
}

template <class S, class T>
Member<S> Object(std::string_view name, std::optional<T> S::*field, const Table<T>& table) {
    return {name, [field, &table](const Value& v, const std::string& p, Errors& e, S& s) {
                T inner{};
                if (!ReadObject(v, p, e, table, inner)) return false;
                s.*field = std::move(inner);
                return true;
            }};
}

const Table<OsFacts> kOs = {
    Int<OsFacts, std::uint32_t>("platformId", &OsFacts::platformId, 0, 2),
    Int("major", &OsFacts::major),
    Int("minor", &OsFacts::minor),
    Int("build", &OsFacts::build),
    Int("servicePackMajor", &OsFacts::servicePackMajor),
    Int("servicePackMinor", &OsFacts::servicePackMinor),
    Int<OsFacts, std::uint8_t>("productType", &OsFacts::productType, 1, 3),
    Int("suiteMask", &OsFacts::suiteMask),
    Int("productInfo", &OsFacts::productInfo),
    Text("csdVersion", &OsFacts::csdVersion, 127),
};

const Table<ArchitectureFacts> kArchitecture = {
    Arch("native", &ArchitectureFacts::native),
    Arch("process", &ArchitectureFacts::process),
    Flag("x64Emulation", &ArchitectureFacts::x64Emulation),
};

constexpr std::size_t kMaxNetbios = 15;
constexpr std::size_t kMaxDnsName = 255;
const Table<ComputerNames> kComputerNames = {
    Text("netbios", &ComputerNames::netbios, kMaxNetbios),
    Text("dnsHostname", &ComputerNames::dnsHostname, kMaxDnsName),
    Text("dnsDomain", &ComputerNames::dnsDomain, kMaxDnsName),
    Text("dnsFullyQualified", &ComputerNames::dnsFullyQualified, kMaxDnsName),
    Text("physicalNetbios", &ComputerNames::physicalNetbios, kMaxNetbios),
    Text("physicalDnsHostname", &ComputerNames::physicalDnsHostname, kMaxDnsName),
    Text("physicalDnsDomain", &ComputerNames::physicalDnsDomain, kMaxDnsName),
    Text("physicalDnsFullyQualified", &ComputerNames::physicalDnsFullyQualified, kMaxDnsName),
};

const Table<PowerStatus> kPower = {
    Byte("acLineStatus", &PowerStatus::acLineStatus, 0, 1, "0, 1 or 255"),
    Int("batteryFlag", &PowerStatus::batteryFlag),
    Byte("batteryLifePercent", &PowerStatus::batteryLifePercent, 0, 100, "0 to 100 or 255"),
    Byte("systemStatusFlag", &PowerStatus::systemStatusFlag, 0, 1, "0 or 1"),
    Int("batteryLifeTime", &PowerStatus::batteryLifeTime),
    Int("batteryFullLifeTime", &PowerStatus::batteryFullLifeTime),
};

bool ReadSystemMetrics(const Value& v, const std::string& p, Errors& e, MachineDescription& s) {
    if (!v.is_object()) return e.Expected(p, "an object of SM_* names or indexes and their values", v);
    for (const auto& item : v.items()) {
        const std::string& name = item.key();
        const Value& value = item.value();
        std::string child = json::Child(p, name);
        std::optional<int> index = SystemMetricIndex(name);
        if (!index && !name.empty() && name.size() <= 5 &&
            std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            index = std::stoi(name);
        if (!index) return e.Fail(child, "unknown system metric; expected an SM_* name or a decimal index");
        int metric = 0;
        if (!json::Integer(value, child, e, metric)) return false;
        s.systemMetrics[*index] = metric;
    }
    return true;
}

bool ReadWindowsDirectory(const Value& v, const std::string& p, Errors& e, MachineDescription& s) {
    if (!v.is_string()) return e.Expected(p, "a string", v);
    std::u16string folder = json::Utf16(v.get_ref<const std::string&>());
    bool drive = folder.size() >= 4 &&
                 ((folder[0] >= u'A' && folder[0] <= u'Z') || (folder[0] >= u'a' && folder[0] <= u'z')) &&
                 folder[1] == u':' && folder[2] == u'\\' && folder.back() != u'\\';
    // MAX_PATH less the terminator: the longest folder GetWindowsDirectoryW can answer.
    if (!drive || folder.size() > 259 || folder.find(u'\0') != std::u16string::npos)
        return e.Fail(p,
                      "expected a folder such as \"C:\\\\Windows\" (a drive, no trailing backslash, at most "
                      "259 characters)");
    s.windowsDirectory = std::move(folder);
    return true;
}

bool IsModuleName(const std::string& name) {
    return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '.';
    });
}

bool IsExportName(const std::string& name) {
    return !name.empty() && name.size() <= 255 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

bool ReadMissingExports(const Value& v, const std::string& p, Errors& e, MachineDescription& s) {
    if (!v.is_object()) return e.Expected(p, "an object of system module names and their missing exports", v);
    for (const auto& item : v.items()) {
        std::string child = json::Child(p, item.key());
        if (!IsModuleName(item.key()))
            return e.Fail(child, "expected a system module's name, such as \"kernel32\"");
        if (!item.value().is_array()) return e.Expected(child, "an array of function names", item.value());
        std::vector<std::string>& names = s.missingExports[item.key()];
        for (std::size_t i = 0; i < item.value().size(); ++i) {
            const Value& name = item.value()[i];
            std::string element = json::Child(child, std::to_string(i));
            if (!name.is_string()) return e.Expected(element, "a function name", name);
            if (!IsExportName(name.get<std::string>()))
                return e.Fail(element, "expected a function name (letters, digits and '_')");
            names.push_back(name.get<std::string>());
        }
    }
    return true;
}

const Table<MachineDescription> kMachine = {
    Object("os", &MachineDescription::os, kOs),
    Object("architecture", &MachineDescription::architecture, kArchitecture),
    {"systemMetrics", ReadSystemMetrics},
    Int<MachineDescription, std::uint32_t>("ansiCodePage", &MachineDescription::ansiCodePage, 1, 65535),
    Object("computerNames", &MachineDescription::computerNames, kComputerNames),
    Time("clock", &MachineDescription::clock),
    Int("tickCount", &MachineDescription::tickCount),
    // Real zones lie within UTC-12 and UTC+14; a day either way leaves room for custom ones.
    Int<MachineDescription, std::int32_t>("timeZoneBias", &MachineDescription::timeZoneBias, -1440, 1440),
    Object("power", &MachineDescription::power, kPower),
    {"missingExports", ReadMissingExports},
    {"windowsDirectory", ReadWindowsDirectory},
};

struct MetricName {
    std::string_view name;
    int index;
};

// GetSystemMetrics indexes as winuser.h numbers them.
constexpr MetricName kMetrics[] = {
    {"SM_CXSCREEN", 0},
    {"SM_CYSCREEN", 1},
    {"SM_CXVSCROLL", 2},
    {"SM_CYHSCROLL", 3},
    {"SM_CYCAPTION", 4},
    {"SM_CXBORDER", 5},
    {"SM_CYBORDER", 6},
    {"SM_CXDLGFRAME", 7},
    {"SM_CXFIXEDFRAME", 7},
    {"SM_CYDLGFRAME", 8},
    {"SM_CYFIXEDFRAME", 8},
    {"SM_CYVTHUMB", 9},
    {"SM_CXHTHUMB", 10},
    {"SM_CXICON", 11},
    {"SM_CYICON", 12},
    {"SM_CXCURSOR", 13},
    {"SM_CYCURSOR", 14},
    {"SM_CYMENU", 15},
    {"SM_CXFULLSCREEN", 16},
    {"SM_CYFULLSCREEN", 17},
    {"SM_CYKANJIWINDOW", 18},
    {"SM_MOUSEPRESENT", 19},
    {"SM_CYVSCROLL", 20},
    {"SM_CXHSCROLL", 21},
    {"SM_DEBUG", 22},
    {"SM_SWAPBUTTON", 23},
    {"SM_CXMIN", 28},
    {"SM_CYMIN", 29},
    {"SM_CXSIZE", 30},
    {"SM_CYSIZE", 31},
    {"SM_CXFRAME", 32},
    {"SM_CXSIZEFRAME", 32},
    {"SM_CYFRAME", 33},
    {"SM_CYSIZEFRAME", 33},
    {"SM_CXMINTRACK", 34},
    {"SM_CYMINTRACK", 35},
    {"SM_CXDOUBLECLK", 36},
    {"SM_CYDOUBLECLK", 37},
    {"SM_CXICONSPACING", 38},
    {"SM_CYICONSPACING", 39},
    {"SM_MENUDROPALIGNMENT", 40},
    {"SM_PENWINDOWS", 41},
    {"SM_DBCSENABLED", 42},
    {"SM_CMOUSEBUTTONS", 43},
    {"SM_SECURE", 44},
    {"SM_CXEDGE", 45},
    {"SM_CYEDGE", 46},
    {"SM_CXMINSPACING", 47},
    {"SM_CYMINSPACING", 48},
    {"SM_CXSMICON", 49},
    {"SM_CYSMICON", 50},
    {"SM_CYSMCAPTION", 51},
    {"SM_CXSMSIZE", 52},
    {"SM_CYSMSIZE", 53},
    {"SM_CXMENUSIZE", 54},
    {"SM_CYMENUSIZE", 55},
    {"SM_ARRANGE", 56},
    {"SM_CXMINIMIZED", 57},
    {"SM_CYMINIMIZED", 58},
    {"SM_CXMAXTRACK", 59},
    {"SM_CYMAXTRACK", 60},
    {"SM_CXMAXIMIZED", 61},
    {"SM_CYMAXIMIZED", 62},
    {"SM_NETWORK", 63},
    {"SM_CLEANBOOT", 67},
    {"SM_CXDRAG", 68},
    {"SM_CYDRAG", 69},
    {"SM_SHOWSOUNDS", 70},
    {"SM_CXMENUCHECK", 71},
    {"SM_CYMENUCHECK", 72},
    {"SM_SLOWMACHINE", 73},
    {"SM_MIDEASTENABLED", 74},
    {"SM_MOUSEWHEELPRESENT", 75},
    {"SM_XVIRTUALSCREEN", 76},
    {"SM_YVIRTUALSCREEN", 77},
    {"SM_CXVIRTUALSCREEN", 78},
    {"SM_CYVIRTUALSCREEN", 79},
    {"SM_CMONITORS", 80},
    {"SM_SAMEDISPLAYFORMAT", 81},
    {"SM_IMMENABLED", 82},
    {"SM_CXFOCUSBORDER", 83},
    {"SM_CYFOCUSBORDER", 84},
    {"SM_TABLETPC", 86},
    {"SM_MEDIACENTER", 87},
    {"SM_STARTER", 88},
    {"SM_SERVERR2", 89},
    {"SM_MOUSEHORIZONTALWHEELPRESENT", 91},
    {"SM_CXPADDEDBORDER", 92},
    {"SM_DIGITIZER", 94},
    {"SM_MAXIMUMTOUCHES", 95},
    {"SM_REMOTESESSION", 0x1000},
    {"SM_SHUTTINGDOWN", 0x2000},
    {"SM_REMOTECONTROL", 0x2001},
    {"SM_CARETBLINKINGENABLED", 0x2002},
    {"SM_CONVERTIBLESLATEMODE", 0x2003},
    {"SM_SYSTEMDOCKED", 0x2004},
};

// The process must be code the machine runs: x86 code runs on every Windows but 32-bit
// ARM Windows, other code on its own processor, and x64 code also on an ARM64 machine
// that emulates x64. A machine that is not named is the default x64 one.
void CheckArchitecture(const ArchitectureFacts& architecture, Errors& errors) {
    const Architecture native = architecture.native.value_or(Architecture::X64);
    const bool emulates = architecture.x64Emulation.value_or(false);
    if (emulates && native != Architecture::Arm64) {
        errors.Fail("/architecture/x64Emulation",
                    "x64 emulation needs an ARM64 machine (native is not arm64)");
        return;
    }
    if (!architecture.process) return;
    const Architecture process = *architecture.process;
    if ((process == Architecture::X86 && native != Architecture::Arm) || process == native) return;
    if (process == Architecture::X64 && native == Architecture::Arm64) {
        if (!emulates)
            errors.Fail("/architecture/process", "an x64 process on ARM64 needs \"x64Emulation\": true");
        return;
    }
    static const char* const kNames[] = {"x86", "x64", "arm64", "ia64", "arm"};
    errors.Fail("/architecture/process", std::string("an ") + kNames[static_cast<int>(process)] +
                                             " process cannot run on an " + kNames[static_cast<int>(native)] +
                                             " machine");
}

}  // namespace

std::optional<int> SystemMetricIndex(std::string_view name) {
    for (const MetricName& metric : kMetrics)
        if (metric.name == name) return metric.index;
    return std::nullopt;
}

ParseResult<MachineDescription> ParseMachineJson(std::string_view text, std::string_view file) {
    ParseResult<MachineDescription> result;
    auto document = json::Parse(text, file);
    if (!document.ok()) {
        result.error = std::move(document.error);
        return result;
    }
    Errors errors{std::string(file)};
    MachineDescription machine;
    if (ReadObject(document.value, "", errors, kMachine, machine) && machine.architecture)
        CheckArchitecture(*machine.architecture, errors);
    if (errors.Error()) {
        result.error = std::move(errors.Error());
        return result;
    }
    result.value = std::move(machine);
    return result;
}

}  // namespace hostlens::sim::machinedir
