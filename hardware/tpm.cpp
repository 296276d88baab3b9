// TPM chips from Win32_Tpm.
#include <string>

#include "frame/trace.h"
#include "frame/value_helpers.h"
#include "hardware/collectors.h"
#include "hardware/field_table.h"

HL_TRACE_MODULE("hardware/tpm")

namespace hostlens::hardware {
namespace {

using T = TpmInfo;
const Field<T> kTpm[] = {
    {W("IsActivated_InitialValue"), Opt(&T::IsActivated_InitialValue, &T::IsActivated_InitialValuePresent)},
    {W("IsEnabled_InitialValue"), Opt(&T::IsEnabled_InitialValue, &T::IsEnabled_InitialValuePresent)},
    {W("IsOwned_InitialValue"), Opt(&T::IsOwned_InitialValue, &T::IsOwned_InitialValuePresent)},
    {W("ManufacturerIdTxt"), &T::ManufacturerIdTxt},
    {W("ManufacturerVersion"), &T::ManufacturerVersion},
    {W("PhysicalPresenceVersionInfo"), &T::PhysicalPresenceVersionInfo},
    {W("SpecVersion"), &T::SpecVersion},
};
const WCHAR kManufacturerId[] = W("ManufacturerId");

// The vendor code of a TPM without its text: four characters, most significant byte
// first ("INTC"), up to the first zero byte, in the ANSI code page.
void ManufacturerIdText(const WmiRow& row, WString& text) {
    std::uint64_t bits = 0;
    if (!ReadInteger(row, kManufacturerId, bits)) return;
    const auto id = static_cast<std::uint32_t>(bits);
    std::string code;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>((id >> shift) & 0xFF);
        if (c == 0) break;
        code += c;
    }
    if (!AnsiToWide(code, text, GetACP())) TRACE_ERROR(id);
}

}  // namespace

bool CollectTpmModules(IWmiMng* wmi, std::vector<TpmInfo>& list) {
    // ManufacturerId is read only when the row lacks ManufacturerIdTxt.
    const WmiQuery query =
        QueryFor(W("SELECT * FROM Win32_Tpm"),
                 {W("IsActivated_InitialValue"), W("IsEnabled_InitialValue"), W("IsOwned_InitialValue"),
                  kManufacturerId, W("ManufacturerIdTxt"), W("ManufacturerVersion"),
                  W("PhysicalPresenceVersionInfo"), W("SpecVersion")});
    std::vector<WmiRow> rows;
    if (!RunQuery(wmi, query, rows)) return false;
    list.clear();
    for (const WmiRow& row : rows) {
        TpmInfo tpm;
        ReadFields<T>(row, kTpm, tpm);
        if (row.find(W("ManufacturerIdTxt")) == row.end()) ManufacturerIdText(row, tpm.ManufacturerIdTxt);
        list.push_back(std::move(tpm));
    }
    return !list.empty();
}

}  // namespace hostlens::hardware
