#include "os_machine.h"

#include <cstring>
#include <vector>

#include "platform/posix/registry/registry_store.h"

namespace hostlens::test {
namespace {

namespace reg = sim::registry;

std::vector<std::uint8_t> Bytes(const void* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    if (size > 0) std::memcpy(bytes.data(), data, size);
    return bytes;
}

std::u16string Decimal(DWORD value) {
    std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace

const std::u16string OsMachineTest::kCurrentVersion =
    u"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

void OsMachineTest::Windows(DWORD major, DWORD minor, BYTE productType, DWORD build) {
    sim::OsFacts& os = sim::MachineFacts().os;
    os.major = major;
    os.minor = minor;
    os.build = build;
    os.productType = productType;
    if (major >= 10) {
        SetDword(u"CurrentMajorVersionNumber", major);
        SetDword(u"CurrentMinorVersionNumber", minor);
        SetString(u"CurrentVersion", u"6.3");
    } else {
        SetString(u"CurrentVersion", Decimal(major) + u"." + Decimal(minor));
    }
    SetString(u"CurrentBuildNumber", Decimal(build));
}

void OsMachineTest::SetString(const std::u16string& name, const std::u16string& text,
                              const std::u16string& key) {
    ASSERT_TRUE(reg::SetValue(key, name, REG_SZ, Bytes(text.c_str(), (text.size() + 1) * sizeof(char16_t))));
}

void OsMachineTest::SetDword(const std::u16string& name, DWORD value, const std::u16string& key) {
    ASSERT_TRUE(reg::SetValue(key, name, REG_DWORD, Bytes(&value, sizeof value)));
}

void OsMachineTest::RemoveValue(const std::u16string& name) {
    reg::DeleteValue(kCurrentVersion, name);
}

void OsMachineTest::CreateMachineKey(const std::u16string& path) {
    ASSERT_TRUE(reg::CreateKey(u"HKLM\\" + path));
}

void OsMachineTest::Native(Cpu cpu, bool process64) {
    sim::Facts& facts = sim::MachineFacts();
    facts.native64 = cpu == Cpu::X64 || cpu == Cpu::Arm64 || cpu == Cpu::Ia64;
    facts.process64 = facts.native64 && process64;
    facts.native32Processor = cpu == Cpu::Arm ? sim::Processor::Arm : sim::Processor::X86;
    facts.native64Processor = cpu == Cpu::Arm64  ? sim::Processor::Arm64
                              : cpu == Cpu::Ia64 ? sim::Processor::Ia64
                                                 : sim::Processor::X64;
    facts.process64Processor = facts.native64Processor;
}

}  // namespace hostlens::test
