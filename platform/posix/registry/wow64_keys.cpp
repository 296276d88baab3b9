#include "platform/posix/registry/wow64_keys.h"

#include <array>
#include <cstddef>

#include "platform/posix/nls/upcase.h"

namespace hostlens::sim::registry::wow64 {
namespace {

struct Entry {
    std::u16string_view path;  // below HKLM\SOFTWARE
    bool shared;
};

// Microsoft, "Registry Keys Affected by WOW64" (Win32 programming guide for 64-bit
// Windows), the column "Windows Server 2008 R2, Windows 7, and Newer", the rows below
// HKEY_LOCAL_MACHINE\SOFTWARE. Windows Vista and earlier redirected (and reflected)
// several of these instead; that is not modelled. HKEY_CURRENT_USER's rows (its
// Classes\CLSID and the like are redirected) are not modelled either: the layer
// shares all of HKEY_CURRENT_USER.
constexpr std::array<Entry, 56> kTable{{
    {u"Classes", true},
    {u"Classes\\Appid", true},
    {u"Classes\\CLSID", false},
    {u"Classes\\DirectShow", false},
    {u"Classes\\HCP", true},
    {u"Classes\\Interface", false},
    {u"Classes\\Media Type", false},
    {u"Classes\\MediaFoundation", false},
    {u"Clients", true},
    {u"Microsoft\\COM3", true},
    {u"Microsoft\\Cryptography\\Calais\\Current", true},
    {u"Microsoft\\Cryptography\\Calais\\Readers", true},
    {u"Microsoft\\Cryptography\\Services", true},
    {u"Microsoft\\CTF\\SystemShared", true},
    {u"Microsoft\\CTF\\TIP", true},
    {u"Microsoft\\DFS", true},
    {u"Microsoft\\Driver Signing", true},
    {u"Microsoft\\EnterpriseCertificates", true},
    {u"Microsoft\\EventSystem", true},
    {u"Microsoft\\MSMQ", true},
    {u"Microsoft\\Non-Driver Signing", true},
    {u"Microsoft\\Notepad\\DefaultFonts", true},
    {u"Microsoft\\OLE", true},
    {u"Microsoft\\RAS", true},
    {u"Microsoft\\RPC", true},
    // Listed as Microsoft\SOFTWARE\Microsoft\Shared Tools\MSInfo, a path no Windows
    // has: the key is Microsoft\Shared Tools\MSInfo.
    {u"Microsoft\\Shared Tools\\MSInfo", true},
    {u"Microsoft\\SystemCertificates", true},
    {u"Microsoft\\TermServLicensing", true},
    {u"Microsoft\\TransactionServer", true},
    {u"Microsoft\\Windows\\CurrentVersion\\App Paths", true},
    {u"Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes", true},
    {u"Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers", true},
    {u"Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons", true},
    {u"Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap", true},
    // The directory service's fallback reads the machine's domain and site here.
    {u"Microsoft\\Windows\\CurrentVersion\\Group Policy", true},
    {u"Microsoft\\Windows\\CurrentVersion\\Policies", true},
    {u"Microsoft\\Windows\\CurrentVersion\\PreviewHandlers", true},
    {u"Microsoft\\Windows\\CurrentVersion\\Setup", true},
    {u"Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\Console", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\FontDpi", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\FontLink", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\FontMapper", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\Fonts", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\Language Pack", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\NetworkCards", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\Perflib", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\Ports", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\Print", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\ProfileList", true},
    {u"Microsoft\\Windows NT\\CurrentVersion\\Time Zones", true},
    {u"Policies", true},
    {u"RegisteredApplications", true},
}};

// How many components of `entry` lead down `below`: all of them when the entry is
// the key or one above it, else 0.
std::size_t Matches(std::u16string_view entry, std::span<const std::u16string_view> below) {
    std::size_t depth = 0;
    while (!entry.empty()) {
        std::size_t end = entry.find(u'\\');
        std::u16string_view component = entry.substr(0, end);
        if (depth == below.size() || detail::CompareNoCase(component, below[depth]) != 0) return 0;
        ++depth;
        entry = end == std::u16string_view::npos ? std::u16string_view{} : entry.substr(end + 1);
    }
    return depth;
}

}  // namespace

bool IsShared(std::span<const std::u16string_view> below) {
    bool shared = false;  // SOFTWARE's own behaviour
    std::size_t deepest = 0;
    for (const Entry& entry : kTable) {
        std::size_t depth = Matches(entry.path, below);
        if (depth > deepest) {
            deepest = depth;
            shared = entry.shared;
        }
    }
    return shared;
}

}  // namespace hostlens::sim::registry::wow64
