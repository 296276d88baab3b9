#include "hardware/field_table.h"

#include "frame/trace.h"

HL_TRACE_MODULE("hardware/field_table")

namespace hostlens::hardware {

WmiQuery QueryFor(const WCHAR* wql, std::initializer_list<const WCHAR*> properties) {
    WmiQuery query;
    query.Query = wql;
    std::size_t i = 0;
    for (const WCHAR* property : properties)
        if (i < std::size(query.Properties) - 1) query.Properties[i++] = property;
    return query;
}

bool RunQuery(IWmiMng* wmi, const WmiQuery& query, std::vector<WmiRow>& rows) {
    if (wmi == nullptr) {
        TRACE_ERROR(query.Query);
        return false;
    }
    DWORD result = wmi->Query(query, rows);
    if (result != 0) TRACE_ERROR(query.Query, result);
    return result == 0;
}

}  // namespace hostlens::hardware
